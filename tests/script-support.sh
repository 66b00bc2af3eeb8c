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
