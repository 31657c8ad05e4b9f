#!/usr/bin/env bash
# Builds every preset and runs every test: Linux (with a smoke run of every benchmark), Linux
# with sanitizers, the fuzz targets' bounded smoke runs (clang), the i686 Windows plug-in (its
# exports and imports checked) and the x86_64 Windows build under Wine; then builds the release
# packages from the windows and posix builds and checks them. Ends with a summary and fails when
# any step failed. The windows32 step runs the i686 build's programs (the shipped DLL among
# them) in a 32-bit Windows process: 32-bit Wine in an i386 root under qemu-i386, made once in
# /var/cache by scripts/setup/win32-i386.sh. After the packages: the LinuxCNC bridge against a
# headless LinuxCNC (step linuxcnc, with the posix build), and the hidraw link in a VM (step
# hidvm, with the posix build's programs).
#   scripts/test-all.sh [preset ... hidvm]  K4_JOBS=<n> limits the parallel jobs (default: all CPUs)
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${K4_JOBS:-$(nproc)}
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(posix asan fuzz windows windows32 windows64 hidvm)
# hidvm is a step of its own after the presets (below), not a preset.
hidvm=0
for i in "${!presets[@]}"; do
  [ "${presets[$i]}" = hidvm ] && { hidvm=1; unset 'presets[i]'; }
done
presets=("${presets[@]}")
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
  local full="build/${2:-$1}/test-all.log"
  ctest --preset "$1" -j "$jobs" 2>&1 | tee "$full" |
    grep -vE '^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* +Passed +[0-9.]+ sec$|^$'
  local status=${PIPESTATUS[0]}
  echo "(every test's line: $full)"
  return "$status"
}

# ---- windows32: the i686 build (the windows preset's folder) run in a 32-bit Windows process --
# Its own environment first (cached, checked before reuse); the session's clean-up runs as a
# CTest fixture and once more here, so that nothing stays mounted or running after a cut-off run.
windows32_failed=""
windows32_step() {
  local log32="build/windows/test-all-i386.log"
  if ! scripts/setup/win32-i386.sh; then
    windows32_failed="setup"
    return 1
  fi
  if ! configure windows; then
    windows32_failed="configure"
  elif ! build windows; then
    windows32_failed="build"
  elif ! run_tests windows32 windows; then
    windows32_failed="tests"
  fi
  scripts/run/win32-i386-session.sh stop >/dev/null 2>&1 || true
  # Each program's GoogleTest summary, as CTest recorded it.
  grep -hE '^[0-9]+/[0-9]+ Testing: |^\[==========\] [0-9]+ tests? from .* ran|^\[  (PASSED|FAILED)  \]' \
    build/windows/Testing/Temporary/LastTest.log >"$log32" 2>/dev/null || true
  grep -vE '^[0-9]+/[0-9]+ Testing: i386\.session' "$log32" | sed 's/^/  /' || true
  [ -z "$windows32_failed" ]
}

summary=()
built=()
failed=0
for preset in "${presets[@]}"; do
  started=$SECONDS
  echo
  echo "======== $preset: configure, build (-j$jobs), test"
  if [ "$preset" = windows32 ]; then
    windows32_step && status="passed" || status="FAILED ($windows32_failed)"
  elif ! configure "$preset"; then
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
  if ! K4_JOBS=$jobs scripts/release/package.sh; then
    status="FAILED (package)"
  elif ! scripts/check/package.sh; then
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

# The Linux link against the kernel's own hidraw driver: a VM booted with the posix build's
# programs and uhid pendants (scripts/run/hidvm.sh; downloads cached in /var/cache/k4-hidvm).
if [ "$hidvm" -eq 1 ]; then
  started=$SECONDS
  echo
  echo "======== hidvm: the hidraw link in a VM (qemu, Debian's kernel, uhid pendants)"
  if scripts/run/hidvm.sh build/posix; then status="passed"; else status="FAILED (hidvm)"; fi
  [ "$status" = "passed" ] || failed=1
  summary+=("$(printf '%-10s %-20s %5ds' "hidvm" "$status" $((SECONDS - started)))")
fi

echo
echo "======== summary"
printf '%s\n' "${summary[@]}"
printf '%-10s %-20s %5ds\n' "total" "" "$SECONDS"
exit "$failed"
