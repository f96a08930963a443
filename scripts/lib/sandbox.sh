# Sourced by the scripts that run a host against the sandbox.
# start_sandbox <kova-sandbox binary> <work dir>: starts it in the
# background, sets sandbox_pid, and sets sandbox_url once it listens (exits
# the script when it does not start). The caller's EXIT trap stops it.
start_sandbox() {
  "$1" >"$2/sandbox.out" 2>"$2/sandbox.err" &
  sandbox_pid=$!
  sandbox_url=""
  for _ in $(seq 1 200); do
    sandbox_url="$(sed -n 's/^kova-sandbox listening on //p' "$2/sandbox.out" | head -n1)"
    [[ -n "$sandbox_url" ]] && return 0
    kill -0 "$sandbox_pid" 2>/dev/null || { cat "$2/sandbox.err" >&2; exit 1; }
    sleep 0.05
  done
  echo "$(basename "$0"): the sandbox did not start" >&2
  exit 1
}
