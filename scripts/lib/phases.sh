# Sourced by the scripts that want to say how long each of their phases took.
# phase <name> <command...>: runs the command, then prints
# "<script>: <name> took 12.3 s" on standard error; returns the command's status.
phase() {
  local name="$1" start status
  shift
  start=$EPOCHREALTIME
  status=0
  "$@" || status=$?
  printf '%s: %s took %s s\n' "$(basename "$0")" "$name" \
    "$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')" >&2
  return $status
}
