#!/usr/bin/env bash
# Shows that the hidraw VM test can fail: builds broken copies of the hidraw backend into the
# posix build, one at a time, runs scripts/run/hidvm.sh on each and expects it to fail; the backend
# is put back (and rebuilt) at the end, also when interrupted. Not part of CI: run by hand after
# changing the VM test. Needs a clean src/platform/posix/hidraw_device.cpp.
#   scripts/check/hidvm-mutants.sh
set -uo pipefail
cd "$(dirname "$0")/../.."
file=src/platform/posix/hidraw_device.cpp
git diff --quiet -- "$file" || { echo "hidvm-mutants: $file has changes of its own"; exit 1; }
targets=(Orvane_K4 k4-hostsim k4_hidvm_tests k4-uhid-pendant)
restore() {
  git checkout -- "$file"
  cmake --build build/posix --target "${targets[@]}" >/dev/null
}
trap restore EXIT

# name | sed expression that breaks the backend
mutants=(
  "ignores IN_DELETE|s/(event.mask \& (IN_DELETE | IN_MOVED_FROM))/(event.mask \& IN_MOVED_FROM)/"
  "drops byte 0 on write|s/::write(static_cast<int>(handle), framed, kOutputReportSize)/::write(static_cast<int>(handle), framed + 1, kOutputReportSize - 1)/"
)
caught=0
for mutant in "${mutants[@]}"; do
  name=${mutant%%|*}
  git checkout -- "$file"
  sed -i "${mutant#*|}" "$file"
  if git diff --quiet -- "$file"; then
    echo "hidvm-mutants: the backend that $name could not be made (sed matched nothing)"
    exit 1
  fi
  cmake --build build/posix --target "${targets[@]}" >/dev/null || exit 1
  echo "======== a backend that $name"
  scripts/run/hidvm.sh build/posix >build/posix/hidvm-mutant.log 2>&1
  status=$?
  grep -E 'FAIL|hidvm: [0-9]' build/posix/hidvm-mutant.log
  if [ "$status" -ne 0 ]; then
    echo "hidvm-mutants: caught: the backend that $name fails the VM test"
    caught=$((caught + 1))
  else
    echo "hidvm-mutants: MISSED: the backend that $name passes the VM test"
  fi
done
echo "hidvm-mutants: $caught of ${#mutants[@]} broken backends caught"
[ "$caught" -eq "${#mutants[@]}" ]
