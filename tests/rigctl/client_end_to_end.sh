#!/usr/bin/env bash
# The rig-control library's own network client (model 2) tunes and reads
# the simulated receiver through `zelkor-ctl serve`.
#   client_end_to_end.sh ZELKOR_CTL
set -uo pipefail
ctl=$1
command -v rigctl >/dev/null || { echo "rigctl missing (libhamlib-utils; run scripts/install-deps)"; exit 1; }

work=$(mktemp -d)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Port 0: the server takes a free port and names it, so no other test can
# grab it in between.
"$ctl" --simulate --trace serve --port 0 >"$work/out" 2>"$work/err" &
server=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^zelkor-ctl: serving on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/err")
    [ -n "$port" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
[ -n "$port" ] || { echo "server did not start:"; cat "$work/err"; exit 1; }
echo "serving on port $port"

# The client waits 10 s for a missing answer; 30 s is a hang.
client() { timeout 30 rigctl -m 2 -r "127.0.0.1:$port" "$@"; }

reply=$(client F 145000000 2>"$work/client-err"); status=$?
[ $status -eq 0 ] || fail "F 145000000 exited $status: $(cat "$work/client-err")"
[ -z "$reply" ] || fail "F 145000000 printed '$reply'"
grep -q '^> 00 65 40 86 a4 08 00' "$work/err" || fail "no set-frequency report of 145000 kHz in the trace"

reply=$(client f 2>"$work/client-err"); status=$?
[ $status -eq 0 ] || fail "f exited $status: $(cat "$work/client-err")"
[ "$reply" = 145000000 ] || fail "f printed '$reply', not 145000000"

reply=$(client m v l STRENGTH 2>"$work/client-err"); status=$?
[ $status -eq 0 ] || fail "m v l STRENGTH exited $status"
[ "$reply" = "$(printf 'FM\n15000\nVFOA\n-54')" ] || fail "m v l STRENGTH printed '$reply'"

# Out of range: refused by the server with nothing sent to the receiver.
sent_before=$(grep -c '^> 00 65 ' "$work/err")
client F 99000 >"$work/client-err" 2>&1
grep -q 'Invalid parameter' "$work/client-err" || fail "F 99000 was not refused as an invalid parameter"
[ "$(grep -c '^> 00 65 ' "$work/err")" -eq "$sent_before" ] || fail "F 99000 reached the receiver"

grep -q '^127\.0\.0\.1:[0-9]* HIDSetFreq of 145000 returns 1$' "$work/out" \
    || fail "no log line behind the client's address: $(head -5 "$work/out")"

# A second server on the same port is an error, not a crash.
"$ctl" --simulate serve --port "$port" --quiet >/dev/null 2>"$work/busy-err"; status=$?
[ $status -eq 1 ] || fail "second server on a busy port exited $status"
grep -q "cannot listen on 127.0.0.1:$port" "$work/busy-err" || fail "busy port: $(cat "$work/busy-err")"

kill -TERM "$server"
for _ in $(seq 50); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$server" 2>/dev/null; then
    fail "server still running 5 s after SIGTERM"
else
    wait "$server"; status=$?
    [ $status -eq 0 ] || fail "server exited $status after SIGTERM"
fi
server=

[ $failures -eq 0 ] && echo "all checks passed"
exit $((failures > 0))
