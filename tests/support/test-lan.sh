#!/usr/bin/env bash
# A small LAN of the test's own in network namespaces, and COMMAND run on its client:
#   ALPHA 10.77.0.2  smbd + nmbd (NT1 allowed, master browser of TESTLAN) + wsdd
#   BETA  10.77.0.3  smbd (SMB2 and later only, no NetBIOS) + wsdd
#   10.77.0.9        no host behind it
# A bridge in a namespace of its own joins them; nothing touches the machine's own network.
# Everything is removed when COMMAND ends, also when it fails or the script is interrupted.
#
#   test-lan.sh COMMAND...      exit status of COMMAND; 77 (skipped) when not root
set -u
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: the test LAN needs root (network namespaces)"; exit 77
fi
for tool in ip smbd nmbd nmblookup /usr/sbin/wsdd; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

tag="$$$RANDOM"; tag="${tag:0:8}"
nsbr="tlan-br-$tag"; nsc="tlan-c-$tag"; nsa="tlan-a-$tag"; nsb="tlan-b-$tag"
root="$(mktemp -d /tmp/tamsel-lan.XXXXXX)"
# smbd reads the browse list nmbd writes while it acts as the guest account: a folder only
# root may enter leaves every NetBIOS server list empty.
chmod 755 "$root"

watcher=""
cleanup() {
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
  for ns in "$nsa" "$nsb" "$nsc" "$nsbr"; do
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
for ns in "$nsbr" "$nsc" "$nsa" "$nsb"; do ip netns add "$ns"; ip -n "$ns" link set lo up; done
ip -n "$nsbr" link add br0 type bridge
ip -n "$nsbr" link set br0 up
join() { # namespace, short name, address
  ip -n "$nsbr" link add "p-$2" type veth peer name "eth0" netns "$1"
  ip -n "$nsbr" link set "p-$2" master br0 up
  ip -n "$1" addr add "$3/24" dev eth0
  ip -n "$1" link set eth0 up
}
join "$nsc" c 10.77.0.1
join "$nsa" a 10.77.0.2
join "$nsb" b 10.77.0.3

server_conf() { # folder, name, extra lines
  mkdir -p "$1"/{lock,state,cache,pid,private,ncalrpc,pub}
  echo "hello" > "$1/pub/readme.txt"
  cat > "$1/smb.conf" <<CONF
[global]
workgroup = TESTLAN
netbios name = $2
interfaces = eth0
bind interfaces only = yes
lock directory = $1/lock
state directory = $1/state
cache directory = $1/cache
pid directory = $1/pid
private dir = $1/private
ncalrpc dir = $1/ncalrpc
log file = $1/log.%m
map to guest = Bad User
load printers = no
disable spoolss = yes
$3
[pub]
path = $1/pub
guest ok = yes
read only = yes
CONF
}
server_conf "$root/alpha" ALPHA "server min protocol = NT1
smb ports = 445 139
local master = yes
preferred master = yes
domain master = yes
os level = 65"
server_conf "$root/beta" BETA "server min protocol = SMB2_02
disable netbios = yes
smb ports = 445"

ip netns exec "$nsa" nmbd -D -s "$root/alpha/smb.conf"
ip netns exec "$nsa" smbd -D -s "$root/alpha/smb.conf"
ip netns exec "$nsb" smbd -D -s "$root/beta/smb.conf"
ip netns exec "$nsa" /usr/bin/python3 /usr/sbin/wsdd -4 -i eth0 -n ALPHA -w TESTLAN -U 0b7a3c2e-1111-4a4a-8c8c-00000000000a >"$root/wsdd-a.log" 2>&1 &
ip netns exec "$nsb" /usr/bin/python3 /usr/sbin/wsdd -4 -i eth0 -n BETA -w TESTLAN -U 0b7a3c2e-2222-4a4a-8c8c-00000000000b >"$root/wsdd-b.log" 2>&1 &

mkdir -p "$root/client"/{lock,state,cache,private}
cat > "$root/client/smb.conf" <<CONF
[global]
workgroup = TESTLAN
interfaces = eth0
bind interfaces only = yes
name resolve order = bcast host
client min protocol = NT1
lock directory = $root/client/lock
state directory = $root/client/state
cache directory = $root/client/cache
private dir = $root/client/private
CONF

# The servers answer within seconds; ALPHA wins the election for TESTLAN's master browser
# only after about 20 s, which no setting shortens. The tests that need no browse list run
# meanwhile: this watcher, on the client, leaves a mark once TESTLAN<1d> answers, and the
# browse tests wait for the mark (TAMSEL_TEST_LAN_BROWSE_READY).
for _ in $(seq 1 160); do
  [ -s "$root/alpha/cache/browse.dat" ] && break
  sleep 0.25
done
(
  for _ in $(seq 1 ${TAMSEL_LAN_MASTER_TRIES:-120}); do
    if ip netns exec "$nsc" timeout 2 nmblookup -s "$root/client/smb.conf" -M TESTLAN >/dev/null 2>&1; then
      echo "master browser after ${SECONDS}s" >&2
      touch "$root/browse-ready"; exit 0
    fi
    sleep 0.5
  done
) &
watcher=$!
set +e
echo "LAN ready after ${SECONDS}s" >&2
ip netns exec "$nsc" env TAMSEL_SMB_CONF="$root/client/smb.conf" TAMSEL_TEST_LAN=1 \
  TAMSEL_TEST_LAN_BROWSE_READY="$root/browse-ready" \
  TAMSEL_TEST_LAN_DEAD=10.77.0.9 TAMSEL_TEST_LAN_ALPHA=10.77.0.2 TAMSEL_TEST_LAN_BETA=10.77.0.3 "$@"
