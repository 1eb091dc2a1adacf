#!/usr/bin/env bash
# The demo network end to end: it starts (twice, the second start finding it running),
# tamsel-net sees its shares and reaches the protected one with the printed password, and
# after stop neither its server nor its RPC helper runs and its folder is gone.
# Usage: demo-lan-test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir="$1"
build="$2"
command -v smbd >/dev/null || { echo "smbd missing"; exit 77; }
demo="$(mktemp -d /tmp/tamsel-demo-test-XXXXXX)"
rmdir "$demo"
export TAMSEL_DEMO_DIR="$demo" TAMSEL_BUILD="$build"
# Never 445, which a server of the machine may want.
export TAMSEL_DEMO_PORT=free
script="$source_dir/scripts/demo-lan"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
trap '"$script" stop >/dev/null 2>&1' EXIT

"$script" start > "$demo.out" 2>&1 || { cat "$demo.out"; fail "start"; exit 1; }
pid="$(cat "$demo/smbd.pid")"
again="$("$script" start)"
grep -q "already running" <<<"$again" || fail "a second start did not find it running: $again"
[ "$(cat "$demo/smbd.pid")" = "$pid" ] || fail "a second start started another server"

shares="$(env $("$script" env) "$build/tools/tamsel-net" shares 127.0.0.1)" || fail "shares"
for share in 公開資料 音樂 私人; do
    grep -q "\"name\": \"$share\"" <<<"$shares" || fail "share $share not listed: $shares"
done
password="$(sed -n 's/^  user and password of 私人: demo \/ //p' "$demo.out")"
[ -n "$password" ] || fail "no password printed"
listing="$(printf '%s\n' "$password" | env $("$script" env) "$build/tools/tamsel-net" ls '\\127.0.0.1\私人\' --user demo --password-stdin)" ||
    fail "the printed password was refused"
grep -q '"name": "帳本"' <<<"$listing" || fail "protected share listing: $listing"
count="$(env $("$script" env) "$build/tools/tamsel-net" ls '\\127.0.0.1\公開資料\文件\第30冊\' | wc -l)"
[ "$count" = 100 ] || fail "expected 100 files in a book folder, got $count"
"$build/tools/tamsel-cache" nodes "$demo/home/Cache/Expanded" | grep -q '"Host": "127.0.0.1"' ||
    fail "no expanded-network computer"

helpers="$(cat "$demo"/pid/*.pid 2>/dev/null)"
"$script" stop >/dev/null || fail "stop"
for p in $pid $helpers; do
    kill -0 "$p" 2>/dev/null && { fail "process $p still runs after stop"; kill "$p"; }
done
# Connection processes of the server carry its configuration's path on their command line.
for k in $(seq 1 30); do pgrep -f -- "$demo/smb.conf" >/dev/null || break; sleep 0.1; done
pgrep -f -- "$demo/smb.conf" >/dev/null && fail "server processes left: $(pgrep -f -- "$demo/smb.conf" | tr '\n' ' ')"
[ -e "$demo" ] && fail "folder $demo left behind"
rm -f "$demo.out"
[ "$failures" = 0 ] && echo "demo-lan: all checks passed"
exit $((failures > 0))
