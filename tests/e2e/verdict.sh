# Shared by the end-to-end drivers (sourced): the pass and fail lines with their count, and
# waiting for a program to end.
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Waits for process $1 to end and sets `code` to its exit code, or to "running" after $2
# seconds. Not for use in $(...): only this shell can collect its own children.
wait_exit() {
    local pid=$1 limit=${2:-10}
    code=running
    for _ in $(seq $((limit * 10))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            code=$?
            return
        fi
        sleep 0.1
    done
}
