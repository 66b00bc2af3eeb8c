# Shared by the shell tests: counting checks, Wine paths, the closing line.
passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAILED: $1"; }
# expect NAME CONDITION: CONDITION is evaluated as shell code.
expect() { if eval "$2"; then pass "$1"; else fail "$1"; fi; }
winpath() { echo "Z:${1//\//\\}"; }
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
# Under with-server.sh: the targets the stand-in server received, one a line,
# oldest first. A reader that stops early (grep -q) is no failure.
requests() { curl -s "http://127.0.0.1:$WRENSTALL_SERVER_PORT/__control/requests" | python3 -c '
import os, sys
try:
    for line in sys.stdin:
        print(bytes.fromhex(line.split("\t")[1]).decode(errors="replace"))
    sys.stdout.flush()
except BrokenPipeError:
    os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())'; }
# write_unpacking_bomb FILE: a 2.6 KB bzip2 file of 33 streams that unpacks to
# 2 GiB + 64 MiB of zeros, past the payload's unpacking limit.
write_unpacking_bomb() {
    python3 -c '
import bz2, sys
stream = bz2.compress(bytes(64 << 20), 9)
sys.stdout.buffer.write(stream * 33)' > "$1"
}
