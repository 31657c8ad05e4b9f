# Sourced by the package checks: a counted list of checks, each reported on one line ("ok" or
# "FAIL"), a failure with the first lines of what its command printed. The sourcing script sets
# $work (a scratch folder) first and ends with checks_summary.
checks=0
failures=0
check() {  # description command...
  local what=$1
  shift
  checks=$((checks + 1))
  if "$@" >"$work/out" 2>&1; then
    echo "  ok    $what"
  else
    failures=$((failures + 1))
    echo "  FAIL  $what"
    sed 's/^/        /' "$work/out" | head -30
  fi
}
checks_summary() {  # name
  echo "$1: $((checks - failures)) of $checks checks passed"
  [ "$failures" -eq 0 ]
}
