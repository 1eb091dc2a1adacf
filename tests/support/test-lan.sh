#!/usr/bin/env bash
# A small LAN of the test's own in network namespaces, and COMMAND run on its client:
#   ALPHA 10.77.0.2  smbd + nmbd (NT1 allowed, master browser of TESTLAN) + wsdd
#   BETA  10.77.0.3  smbd (SMB2 and later only, no NetBIOS) + wsdd
#   會計室 10.77.0.4  smbd + nmbd in workgroup 業務部 (its master browser), names in CP950,
#                    share 公用 + wsdd
#   10.77.0.9        no host behind it
# A bridge in a namespace of its own joins them; nothing touches the machine's own network.
# Everything is removed when COMMAND ends, also when it fails or the script is interrupted.
#
#   test-lan.sh COMMAND...      exit status of COMMAND; 77 (skipped) when neither root
#                               nor given ids of its own for a user namespace
set -u
. "$(dirname "$0")/lan-user-namespace.sh"
for tool in ip smbd nmbd nmblookup /usr/sbin/wsdd; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

tag="$$$RANDOM"; tag="${tag:0:8}"
nsbr="tlan-br-$tag"; nsc="tlan-c-$tag"; nsa="tlan-a-$tag"; nsb="tlan-b-$tag"; nsk="tlan-k-$tag"
root="$(mktemp -d /tmp/tamsel-lan.XXXXXX)"
# smbd reads the browse list nmbd writes while it acts as the guest account: a folder only
# root may enter leaves every NetBIOS server list empty.
chmod 755 "$root"

watcher=""
cleanup() {
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
  for ns in "$nsa" "$nsb" "$nsk" "$nsc" "$nsbr"; do
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
for ns in "$nsbr" "$nsc" "$nsa" "$nsb" "$nsk"; do ip netns add "$ns"; ip -n "$ns" link set lo up; done
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
join "$nsk" k 10.77.0.4

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

# A Traditional Chinese office: workgroup and computer named in Chinese, written in CP950 on
# the wire, as Windows does; the master browser of its own workgroup.
server_conf "$root/kaiji" 會計室 "workgroup = 業務部
dos charset = CP950
server min protocol = NT1
smb ports = 445 139
local master = yes
preferred master = yes
os level = 65"
mkdir -p "$root/kaiji/gongyong"
echo "帳目" > "$root/kaiji/gongyong/帳目.txt"
cat >> "$root/kaiji/smb.conf" <<CONF
[公用]
path = $root/kaiji/gongyong
guest ok = yes
read only = yes
CONF

ip netns exec "$nsa" nmbd -D -s "$root/alpha/smb.conf"
ip netns exec "$nsk" nmbd -D -s "$root/kaiji/smb.conf"
ip netns exec "$nsk" smbd -D -s "$root/kaiji/smb.conf"
ip netns exec "$nsa" smbd -D -s "$root/alpha/smb.conf"
ip netns exec "$nsb" smbd -D -s "$root/beta/smb.conf"
ip netns exec "$nsa" /usr/bin/python3 /usr/sbin/wsdd -4 -i eth0 -n ALPHA -w TESTLAN -U 0b7a3c2e-1111-4a4a-8c8c-00000000000a >"$root/wsdd-a.log" 2>&1 &
ip netns exec "$nsk" /usr/bin/python3 /usr/sbin/wsdd -4 -i eth0 -n 會計室 -w 業務部 -U 0b7a3c2e-3333-4a4a-8c8c-00000000000c >"$root/wsdd-k.log" 2>&1 &
ip netns exec "$nsb" /usr/bin/python3 /usr/sbin/wsdd -4 -i eth0 -n BETA -w TESTLAN -U 0b7a3c2e-2222-4a4a-8c8c-00000000000b >"$root/wsdd-b.log" 2>&1 &

# DNS-SD where avahi-daemon is installed: a daemon on ALPHA announcing _smb._tcp and one on
# the client for its programs to ask, each with a system bus of its own and, in a mount
# namespace of its own, a private /run and services folder: the machine's are never touched.
mdns() { # namespace, folder, host name
  mkdir -p "$2/services"
  cat > "$2/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$2/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  cat > "$2/avahi.conf" <<CONF
[server]
host-name=$3
use-ipv4=yes
use-ipv6=no
allow-interfaces=eth0
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-workstation=no
publish-hinfo=no
CONF
  ip netns exec "$1" unshare -m sh -c '
    mount -t tmpfs tmpfs /run && mkdir -p /run/avahi-daemon /run/dbus &&
    mount --bind "$0/services" /etc/avahi/services &&
    dbus-daemon --config-file="$0/bus.conf" --nofork --nopidfile >"$0/dbus.log" 2>&1 &
    for _ in $(seq 50); do [ -S "$0/bus" ] && break; sleep 0.05; done
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$0/bus" exec avahi-daemon -f "$0/avahi.conf" --no-drop-root --no-chroot --no-rlimits' "$2" >"$2/avahi.log" 2>&1 &
  disown  # ended with its namespace: no job report
}
client_bus=""
if command -v avahi-daemon >/dev/null && command -v dbus-daemon >/dev/null; then
  mkdir -p "$root/alpha-mdns/services" "$root/client-mdns"
  cat > "$root/alpha-mdns/services/smb.service" <<SERVICE
<?xml version="1.0" standalone='no'?>
<!DOCTYPE service-group SYSTEM "avahi-service.dtd">
<service-group>
  <name>ALPHA</name>
  <service><type>_smb._tcp</type><port>445</port></service>
</service-group>
SERVICE
  mdns "$nsa" "$root/alpha-mdns" alpha
  mdns "$nsc" "$root/client-mdns" client
  client_bus="unix:path=$root/client-mdns/bus"
fi

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
  [ -s "$root/alpha/cache/browse.dat" ] && [ -s "$root/kaiji/cache/browse.dat" ] && break
  sleep 0.25
done
# The watcher reads CP950 names; the client's own configuration leaves the code page to the
# programs under test.
sed 's/^\[global\]$/[global]\ndos charset = CP950/' "$root/client/smb.conf" > "$root/client/watch.conf"
(
  for _ in $(seq 1 ${TAMSEL_LAN_MASTER_TRIES:-120}); do
    if ip netns exec "$nsc" timeout 2 nmblookup -s "$root/client/smb.conf" -M TESTLAN >/dev/null 2>&1 &&
       ip netns exec "$nsc" timeout 2 nmblookup -s "$root/client/watch.conf" -M 業務部 >/dev/null 2>&1; then
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
  TAMSEL_TEST_LAN_BROWSE_READY="$root/browse-ready" ${client_bus:+DBUS_SYSTEM_BUS_ADDRESS="$client_bus" TAMSEL_TEST_LAN_MDNS=1} \
  TAMSEL_TEST_LAN_DEAD=10.77.0.9 TAMSEL_TEST_LAN_ALPHA=10.77.0.2 TAMSEL_TEST_LAN_BETA=10.77.0.3 \
  TAMSEL_TEST_LAN_KAIJI=10.77.0.4 TAMSEL_TEST_LAN_ROOT="$root" "$@"
