# Sourced by the scripts that start servers of their own: ports come from the kernel, and a
# server counts as started only once it holds its port itself, so that a program that took
# the same port in between is never measured in its place.

# listening_port PID: the first IPv4 TCP port PID itself listens on; nothing when none.
listening_port() {
  python3 - "$1" <<'PY'
import os, sys
proc = "/proc/" + sys.argv[1]
inodes = set()
try:
    for fd in os.listdir(proc + "/fd"):
        try:
            link = os.readlink(proc + "/fd/" + fd)
        except OSError:
            continue
        if link.startswith("socket:["):
            inodes.add(link[8:-1])
    with open(proc + "/net/tcp") as table:
        next(table)
        for line in table:
            fields = line.split()
            if fields[3] == "0A" and fields[9] in inodes:
                print(int(fields[1].split(":")[1], 16))
                break
except OSError:
    pass
PY
}

# wait_for_own_port PID PORT: waits until PID listens on PORT, or on any port when PORT is 0,
# and prints that port; fails when PID ends first or after about 10 seconds.
wait_for_own_port() {
  local pid="$1" want="$2" got _
  for _ in $(seq 200); do
    got=$(listening_port "$pid")
    if [ -n "$got" ] && { [ "$want" = 0 ] || [ "$got" = "$want" ]; }; then
      echo "$got"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# free_port [ADDRESS]: a port the kernel has just freed on ADDRESS (127.0.0.1), for servers
# that cannot be told to take any port (smbd refuses port 0): whoever starts the server checks
# that it got it (wait_for_own_port).
free_port() {
  python3 -c 'import socket, sys; s=socket.socket(); s.bind((sys.argv[1], 0)); print(s.getsockname()[1])' "${1:-127.0.0.1}"
}

# start_smbd CONF: starts smbd in the background with CONF, its "smb ports" line set to a free
# port, and on another port when smbd does not come to hold that one itself. Sets $port and
# $smbd_pid.
start_smbd() {
  local conf="$1" _
  for _ in 1 2 3 4 5; do
    port=$(free_port)
    sed -i "s/^smb ports = .*/smb ports = $port/" "$conf"
    setsid smbd --foreground --no-process-group -s "$conf" &
    smbd_pid=$!
    if wait_for_own_port "$smbd_pid" "$port" >/dev/null; then
      return 0
    fi
    kill "$smbd_pid" 2>/dev/null
    wait "$smbd_pid" 2>/dev/null
    smbd_pid=""
  done
  echo "smbd did not start on a port of its own; see the log in $(dirname "$conf")" >&2
  return 1
}

# hold_closed_port: a port nothing can listen on while this script runs: a socket of its own
# holds it bound without listening, so connections to it are refused. Sets $closed and
# $closed_holder (the pid to kill at the end).
hold_closed_port() {
  local file
  file=$(mktemp)
  python3 -c '
import signal, socket, sys
s = socket.socket()
s.bind(("127.0.0.1", 0))
with open(sys.argv[1], "w") as out:
    out.write(str(s.getsockname()[1]))
signal.pause()' "$file" &
  closed_holder=$!
  for _ in $(seq 200); do [ -s "$file" ] && break; sleep 0.05; done
  closed=$(cat "$file")
  rm -f "$file"
}
