#!/usr/bin/env bash
# A LAN of the test's own in network namespaces, with someone on it who lies:
#   client  10.79.0.1   runs COMMAND; its own /etc/hosts (in a mount namespace of its own)
#                       names KNOWNPC at 10.79.0.2, as a hosts file or DNS would
#   KNOWN   10.79.0.2   smbd with share "docs" for user root only
#   ROGUE   10.79.0.66  an smbd of its own that logs every logon, and (started by the tests,
#                       in namespace $TAMSEL_ROGUE_NS) a WS-Discovery responder claiming names
# A bridge in a namespace of its own joins them; nothing touches the machine's own network.
# Everything is removed when COMMAND ends, also when it fails or the script is interrupted.
#
#   rogue-lan.sh COMMAND...     exit status of COMMAND; 77 (skipped) when neither root
#                               nor given ids of its own for a user namespace
set -u
. "$(dirname "$0")/../support/lan-user-namespace.sh"
for tool in ip smbd smbpasswd unshare /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

tag="$$$RANDOM"; tag="${tag:0:8}"
nsbr="rlan-br-$tag"; nsc="rlan-c-$tag"; nsk="rlan-k-$tag"; nsr="rlan-r-$tag"
root="$(mktemp -d /tmp/tamsel-rogue-lan.XXXXXX)"
chmod 755 "$root"

cleanup() {
  for ns in "$nsk" "$nsr" "$nsc" "$nsbr"; do
    if ip netns list | grep -qw "$ns"; then
      # Only processes of the namespaces this script made: the servers it started.
      for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
      ip netns del "$ns" 2>/dev/null
    fi
  done
  rm -rf "$root"
}
trap cleanup EXIT INT TERM

set -e
for ns in "$nsbr" "$nsc" "$nsk" "$nsr"; do ip netns add "$ns"; ip -n "$ns" link set lo up; done
ip -n "$nsbr" link add br0 type bridge
ip -n "$nsbr" link set br0 up
join() { # namespace, short name, address
  ip -n "$nsbr" link add "p-$2" type veth peer name "eth0" netns "$1"
  ip -n "$nsbr" link set "p-$2" master br0 up
  ip -n "$1" addr add "$3/24" dev eth0
  ip -n "$1" link set eth0 up
  # Multicast (WS-Discovery) leaves by this interface.
  ip -n "$1" route add 224.0.0.0/4 dev eth0
}
join "$nsc" c 10.79.0.1
join "$nsk" k 10.79.0.2
join "$nsr" r 10.79.0.66

server_conf() { # folder, name
  mkdir -p "$1"/{lock,state,cache,pid,private,ncalrpc,docs,logs}
  echo "the known server's file" > "$1/docs/readme.txt"
  cat > "$1/smb.conf" <<CONF
[global]
workgroup = TESTLAN
netbios name = $2
interfaces = eth0
bind interfaces only = yes
disable netbios = yes
smb ports = 445
server min protocol = SMB2_02
lock directory = $1/lock
state directory = $1/state
cache directory = $1/cache
pid directory = $1/pid
private dir = $1/private
ncalrpc dir = $1/ncalrpc
passdb backend = tdbsam:$1/private/passdb.tdb
log file = $1/logs/log.%m
log level = 1 auth_audit:3
map to guest = Bad User
load printers = no
disable spoolss = yes
[docs]
path = $1/docs
read only = yes
valid users = root
CONF
  printf '%s\n%s\n' 'known-secret' 'known-secret' | smbpasswd -c "$1/smb.conf" -s -a root >/dev/null
}
server_conf "$root/known" KNOWNPC
server_conf "$root/rogue" ROGUEPC
ip netns exec "$nsk" smbd -D -s "$root/known/smb.conf"
ip netns exec "$nsr" smbd -D -s "$root/rogue/smb.conf"

mkdir -p "$root/client"/{lock,state,cache,private}
cat > "$root/client/smb.conf" <<CONF
[global]
workgroup = TESTLAN
interfaces = eth0
bind interfaces only = yes
disable netbios = yes
name resolve order = host
lock directory = $root/client/lock
state directory = $root/client/state
cache directory = $root/client/cache
private dir = $root/client/private
CONF
printf '127.0.0.1 localhost\n10.79.0.2 KNOWNPC\n' > "$root/client/hosts"
# An empty resolver list: no name query leaves the namespaces.
: > "$root/client/resolv.conf"

for _ in $(seq 1 100); do
  ip netns exec "$nsk" bash -c 'exec 3<>/dev/tcp/10.79.0.2/445' 2>/dev/null &&
    ip netns exec "$nsr" bash -c 'exec 3<>/dev/tcp/10.79.0.66/445' 2>/dev/null && break
  sleep 0.1
done
set +e
ip netns exec "$nsc" unshare -m sh -c '
  mount --bind "$0/hosts" /etc/hosts && mount --bind "$0/resolv.conf" /etc/resolv.conf && shift 0 && exec "$@"' \
  "$root/client" env TAMSEL_SMB_CONF="$root/client/smb.conf" TAMSEL_ROGUE_NS="$nsr" \
  TAMSEL_ROGUE_ADDRESS=10.79.0.66 TAMSEL_CLIENT_ADDRESS=10.79.0.1 TAMSEL_ROGUE_LOGS="$root/rogue/logs" TAMSEL_ROGUE_STATE="$root/rogue" \
  TAMSEL_KNOWN_PASSWORD=known-secret "$@"
