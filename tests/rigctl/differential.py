#!/usr/bin/env python3
"""Sends one script of protocol lines to the rig-control library's own daemon
(its dummy rig) and to `zelkor-ctl serve`, and compares the replies line by
line after masking the values that legitimately differ.

    differential.py ZELKOR_CTL SCRIPT [-v]

Script lines are sent as written, followed by a line feed; <CR>, <LF> and
<TAB> stand for those bytes. Lines starting with "##" and blank lines are
notes. A line ending in a tab and "#differs: REASON" is a known difference:
it is sent to both (so the conversation stays in step) but not compared.
"""
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

# After each script line this marker is sent; its reply ends the line's
# replies. It carries its own prefix, so the response mode a line may leave
# behind cannot change it, and a separator no script line uses.
MARKER = b"%\\get_powerstat\n"
MARKER_REPLY = b"get_powerstat:%Power Status: 1\nRPRT 0\n"
REPLY_TIMEOUT_S = 5.0

# The two servers' own text where they describe the rig: masked.
MODEL_TEXT = [b"Nothing much (dummy)", b"Zelkor receiver"]
MASKS = [
    # The capability blocks describe two different rigs.
    (re.compile(rb"Caps dump for model: .*?Overall backend warnings: 0   \n", re.S), b"<caps>\n"),
    (re.compile(rb"1\n\d+\n0\n[0-9.]+ [0-9.]+ 0x.*?\ndone\n", re.S), b"<state>\n"),
    # The dummy's signal strength wanders; ours is fixed.
    (re.compile(rb"(get_level: STRENGTH.)-?\d+"), rb"\1<level>"),
    (re.compile(rb"(?m)^-\d+$"), b"<level>"),
]


def mask(reply):
    for text in MODEL_TEXT:
        reply = reply.replace(text, b"<model>")
    for pattern, replacement in MASKS:
        reply = pattern.sub(replacement, reply)
    return reply


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_connectable(port, process, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def wait_exit(process, seconds):
    try:
        process.wait(timeout=seconds)
        return True
    except subprocess.TimeoutExpired:
        return False


def start_reference():
    for _ in range(3):  # the free port may be taken before the daemon binds it
        port = free_port()
        process = subprocess.Popen(["rigctld", "-m", "1", "-T", "127.0.0.1", "-t", str(port)],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Still running a moment later: it was the daemon that answered, not
        # some other program that took the port first.
        if wait_connectable(port, process) and not wait_exit(process, 0.2):
            return process, port
        stop(process)
    raise RuntimeError("the reference daemon did not start")


def start_ours(ctl, errors):
    process = subprocess.Popen([ctl, "--simulate", "serve", "--port", "0", "--quiet"],
                               stdout=subprocess.DEVNULL, stderr=errors)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        with open(errors.name) as f:
            found = re.search(r"serving on 127\.0\.0\.1:(\d+)", f.read())
        if found:
            return process, int(found.group(1))
        if process.poll() is not None:
            break
        time.sleep(0.05)
    stop(process)
    raise RuntimeError("zelkor-ctl serve did not start")


def stop(process):
    if process.poll() is None:
        process.terminate()
        if not wait_exit(process, 5):
            process.kill()
            process.wait(timeout=5)


class Client:
    def __init__(self, port):
        self.port = port
        self.sock = None

    def exchange(self, data):
        """The replies to data, up to the marker's; None on a time-out."""
        if self.sock is None:
            self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=2)
        self.sock.sendall(data + MARKER)
        received = b""
        deadline = time.monotonic() + REPLY_TIMEOUT_S
        while not received.endswith(MARKER_REPLY):
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                return None
            except ConnectionError:
                chunk = b""
            if not chunk:  # the line quit: the next one opens a new connection
                self.close()
                return received
            received += chunk
        return received[: -len(MARKER_REPLY)]

    def close(self):
        if self.sock is not None:
            self.sock.close()
            self.sock = None


def read_script(path):
    entries = []
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("##"):
                continue
            line, _, reason = line.partition("\t#differs:")
            data = line.replace("<CR>", "\r").replace("<LF>", "\n").replace("<TAB>", "\t")
            entries.append((number, line, data.encode("latin-1") + b"\n", reason.strip()))
    return entries


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    ctl, script = sys.argv[1], sys.argv[2]
    if not shutil.which("rigctld"):
        print("rigctld missing (libhamlib-utils; run scripts/install-deps)")
        return 1
    verbose = "-v" in sys.argv[3:]
    # A test runner's time-out ends this with SIGTERM: still stop both servers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    processes = []
    failures = 0
    with tempfile.NamedTemporaryFile(prefix="zelkor-serve-") as errors:
        try:
            reference, reference_port = start_reference()
            processes.append(reference)
            ours, our_port = start_ours(ctl, errors)
            processes.append(ours)
            theirs, mine = Client(reference_port), Client(our_port)
            entries = read_script(script)
            for number, line, data, reason in entries:
                expected, got = theirs.exchange(data), mine.exchange(data)
                if expected is None:
                    print(f"line {number}: {line!r}: the reference did not answer in time")
                    failures += 1
                    continue
                if got is None:
                    print(f"FAIL line {number}: {line!r}: no reply within {REPLY_TIMEOUT_S} s")
                    failures += 1
                    continue
                if reason:
                    if verbose:
                        print(f"known difference, line {number}: {line!r} ({reason})\n"
                              f"  reference: {expected!r}\n  ours:      {got!r}")
                    continue
                if mask(expected) != mask(got):
                    print(f"FAIL line {number}: {line!r}\n"
                          f"  reference: {mask(expected)!r}\n  ours:      {mask(got)!r}")
                    failures += 1
                elif verbose:
                    print(f"same, line {number}: {line!r}: {mask(got)!r}")
            theirs.close()
            mine.close()
            print(f"{len(entries)} script lines, {failures} differing")
        finally:
            for process in processes:
                stop(process)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
