#!/usr/bin/env bash
# Builds and tests every step; a step is one test preset (CMakePresets.json), run after its
# build's configure and build presets:
#   posix      Linux, with a smoke run of every benchmark
#   asan       Linux with sanitizers
#   fuzz       the fuzz targets' bounded smoke runs (clang)
#   windows    the i686 Windows plug-in, its exports and imports checked
#   windows32  the i686 build's programs (the shipped DLL among them) in a 32-bit Windows process:
#              32-bit Wine in an i386 root under qemu-i386, made once in /var/cache
#   windows64  the x86_64 Windows build under Wine
#   package    the release packages from the windows and posix builds, built and checked
#   debian     the Debian packages: built with Debian's tools, lintian, installed, used, removed
#              and purged in a fresh Debian 12 root (cached in /var/cache)
#   linuxcnc   the LinuxCNC bridge against a headless LinuxCNC (the posix build)
#   hidvm      the hidraw link in a VM: qemu, Debian's kernel, uhid pendants (the posix build)
# Each step's environment (the i386 root and its Wine session, the VM's kernel, LinuxCNC) is made
# and taken down by its tests' CTest fixtures, also when a test fails. Ends with a summary and
# fails when any step failed.
#   scripts/test-all.sh [step ...]  K4_JOBS=<n> limits the parallel jobs (default: all CPUs)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
export K4_JOBS=${K4_JOBS:-$(nproc)}
jobs=$K4_JOBS

all_steps=(posix asan fuzz windows windows32 windows64 package debian linuxcnc hidvm)
# The build a step tests, where it is not the build of its own name (every build preset is named
# after its configure preset).
declare -A build_of=([windows32]=windows [package]=posix [debian]=posix [linuxcnc]=posix [hidvm]=posix)
# Steps that must have passed first when they are part of the same run: the packages take their
# binaries from the windows and posix builds just tested, so the step compiles nothing.
declare -A needs=([package]="windows posix" [debian]=posix [linuxcnc]=posix)
# Run once more after the step, whatever happened (also when the run is interrupted): the 32-bit
# session's clean-up is a CTest fixture too, but a ctest that was cut off would leave the root's
# mounts and programs behind.
declare -A afterwards=([windows32]="scripts/run/win32-i386-session.sh stop")

steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=("${all_steps[@]}")
for step in "${steps[@]}"; do
  if [[ " ${all_steps[*]} " != *" $step "* ]]; then
    echo "test-all: no step $step (steps: ${all_steps[*]})" >&2
    exit 2
  fi
done

log=$(mktemp)
pending_afterwards=""
# shellcheck disable=SC2317  # run from the EXIT trap
finish() {
  [ -z "$pending_afterwards" ] || $pending_afterwards >/dev/null 2>&1 || true
  rm -f "$log"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

configure() { cmake --preset "$1" >"$log" 2>&1 || { cat "$log"; return 1; }; }
# Ninja's progress lines are dropped; warnings, errors and failed commands stay.
build() {
  cmake --build --preset "$1" -j "$jobs" 2>&1 | grep -v '^\[[0-9]*/[0-9]*\] '
  return "${PIPESTATUS[0]}"
}
# One line per passing test adds up to thousands: those are kept in the build folder's log, the
# rest (failures with their output, the totals) is shown.
run_tests() {  # step build
  local full="build/$2/test-all-$1.log"
  ctest --preset "$1" -j "$jobs" 2>&1 | tee "$full" |
    grep -vE '^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* +Passed +[0-9.]+ sec$|^$'
  local status=${PIPESTATUS[0]}
  echo "(every test's line: $full)"
  return "$status"
}

summary=()
failed_steps=()
failed=0
for step in "${steps[@]}"; do
  started=$SECONDS
  preset=${build_of[$step]:-$step}
  missing=""
  for need in ${needs[$step]:-}; do
    [[ " ${failed_steps[*]} " == *" $need "* ]] && missing+=" $need"
  done
  echo
  if [ -n "$missing" ]; then
    echo "======== $step: skipped, it needs${missing}, which failed"
    status="skipped"
  else
    echo "======== $step: configure and build $preset (-j$jobs), test $step"
    pending_afterwards=${afterwards[$step]:-}
    if ! configure "$preset"; then
      status="FAILED (configure)"
    elif ! build "$preset"; then
      status="FAILED (build)"
    elif ! run_tests "$step" "$preset"; then
      status="FAILED (tests)"
    else
      status="passed"
    fi
    if [ -n "$pending_afterwards" ]; then
      $pending_afterwards >/dev/null 2>&1 || true
      pending_afterwards=""
    fi
  fi
  if [ "$status" != "passed" ]; then
    failed=1
    failed_steps+=("$step")
  fi
  summary+=("$(printf '%-10s %-20s %5ds' "$step" "$status" $((SECONDS - started)))")
done

echo
echo "======== summary"
printf '%s\n' "${summary[@]}"
printf '%-10s %-20s %5ds\n' "total" "" "$SECONDS"
exit "$failed"
