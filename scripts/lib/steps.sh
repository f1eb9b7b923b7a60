# Sourced (not run) by the scripts a user runs, so that none of them ends in
# failure without a word. Set PROG to the script's name before sourcing.
#
# A command that fails and ends the script (set -e) is named, with its exit
# status, through the ERR trap; its own messages are above it.
set -E
trap 'echo "$PROG: failed (exit status $?): $BASH_COMMAND" >&2' ERR

# quietly WHAT COMMAND [ARG...]: runs a step whose output only matters when it
# fails. On success it prints nothing; on failure it names the step, shows
# everything the step printed and ends the script with the step's status.
quietly() {
  local what=$1 out status=0
  shift
  out=$(mktemp)
  "$@" >"$out" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    {
      echo "$PROG: $what failed (exit status $status): $*"
      echo "--- its output:"
      cat "$out"
      echo "---"
    } >&2
    rm -f "$out"
    exit "$status"
  fi
  rm -f "$out"
}
