#!/usr/bin/env bash
# `zelkor-ctl serve` stops on SIGTERM and on SIGINT while clients keep
# reads queued, without running out their queues first.
#   serve_stop.sh ZELKOR_CTL
set -uo pipefail
ctl=$1
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for signal in TERM INT; do
    "$ctl" --simulate serve --port 0 --quiet 2>"$work/err" &
    server=$!
    pids+=($server)
    port=
    for _ in $(seq 100); do
        port=$(sed -n 's/^zelkor-ctl: serving on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/err")
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { echo "server did not start: $(cat "$work/err")"; exit 1; }

    # Four clients, 500 reads queued each: 20 s of receiver time.
    : >"$work/clients"
    python3 - "$port" >"$work/clients" <<'PY' &
import socket, sys, time
clients = [socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10) for _ in range(4)]
for c in clients:
    c.sendall(b"f\n" * 500)
for c in clients:
    c.recv(16)
print("served", flush=True)
time.sleep(60)
PY
    pids+=($!)
    for _ in $(seq 100); do
        grep -q served "$work/clients" && break
        sleep 0.1
    done
    grep -q served "$work/clients" || fail "SIG$signal: the clients got no first reply"

    start=$(date +%s%N)
    kill -"$signal" "$server"
    # Generous for a loaded machine; running out the queues takes 20 s.
    for _ in $(seq 100); do
        kill -0 "$server" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$server" 2>/dev/null; then
        fail "SIG$signal: still serving 5 s later"
    else
        wait "$server"
        status=$?
        echo "SIG$signal with four pipelining clients: stopped after $((($(date +%s%N) - start) / 1000000)) ms"
        [ $status -eq 0 ] || fail "SIG$signal: exit status $status"
    fi
done

[ $failures -eq 0 ] && echo "all checks passed"
exit $((failures > 0))
