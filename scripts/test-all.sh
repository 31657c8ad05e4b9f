#!/usr/bin/env bash
# Builds every preset and runs every test: Linux (with a smoke run of every benchmark), Linux
# with sanitizers, the fuzz targets' bounded smoke runs (clang), the i686 Windows plug-in (its
# exports and imports checked) and the x86_64 Windows build under Wine; then builds the release
# packages from the windows and posix builds and checks them. Ends with a summary and fails when
# any step failed.
#   scripts/test-all.sh [preset ...]      K4_JOBS=<n> limits the parallel jobs (default: all CPUs)
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${K4_JOBS:-$(nproc)}
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(posix asan fuzz windows windows64)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

configure() { cmake --preset "$1" >"$log" 2>&1 || { cat "$log"; return 1; }; }
# Ninja's progress lines are dropped; warnings, errors and failed commands stay.
build() {
  cmake --build --preset "$1" -j "$jobs" 2>&1 | grep -v '^\[[0-9]*/[0-9]*\] '
  return "${PIPESTATUS[0]}"
}
# One line per passing test adds up to thousands: those are kept in the build folder's log, the
# rest (failures with their output, the totals) is shown.
run_tests() {
  local full="build/$1/test-all.log"
  ctest --preset "$1" -j "$jobs" 2>&1 | tee "$full" |
    grep -vE '^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* +Passed +[0-9.]+ sec$|^$'
  local status=${PIPESTATUS[0]}
  echo "(every test's line: $full)"
  return "$status"
}

summary=()
built=()
failed=0
for preset in "${presets[@]}"; do
  started=$SECONDS
  echo
  echo "======== $preset: configure, build (-j$jobs), test"
  if ! configure "$preset"; then
    status="FAILED (configure)"
  elif ! build "$preset"; then
    status="FAILED (build)"
  elif ! run_tests "$preset"; then
    status="FAILED (tests)"
  else
    status="passed"
  fi
  [ "$status" = "passed" ] || failed=1
  [ "$status" = "passed" ] && built+=("$preset")
  summary+=("$(printf '%-10s %-20s %5ds' "$preset" "$status" $((SECONDS - started)))")
done

# The packages take their binaries from the windows and posix builds just tested, so this step
# compiles nothing; it needs both.
if [[ " ${built[*]} " == *" windows "* && " ${built[*]} " == *" posix "* ]]; then
  started=$SECONDS
  echo
  echo "======== package: dist/ from the windows and posix builds, then check it"
  if ! K4_JOBS=$jobs scripts/package.sh; then
    status="FAILED (package)"
  elif ! scripts/check-package.sh; then
    status="FAILED (check)"
  else
    status="passed"
  fi
  [ "$status" = "passed" ] || failed=1
  summary+=("$(printf '%-10s %-20s %5ds' "package" "$status" $((SECONDS - started)))")
fi

# The LinuxCNC bridge against a headless LinuxCNC: its own step, after the posix build it uses.
if [[ " ${built[*]} " == *" posix "* ]]; then
  started=$SECONDS
  echo
  echo "======== linuxcnc: k4-linuxcnc against a headless LinuxCNC (scripts/test-linuxcnc.sh)"
  if K4_JOBS=$jobs scripts/test-linuxcnc.sh; then
    status="passed"
  else
    status="FAILED (tests)"
  fi
  [ "$status" = "passed" ] || failed=1
  summary+=("$(printf '%-10s %-20s %5ds' "linuxcnc" "$status" $((SECONDS - started)))")
fi

echo
echo "======== summary"
printf '%s\n' "${summary[@]}"
printf '%-10s %-20s %5ds\n' "total" "" "$SECONDS"
exit "$failed"
