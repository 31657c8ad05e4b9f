#!/usr/bin/env bash
# The Linux pendant link against the kernel's own HID core and hidraw driver: boots Debian's
# kernel in qemu (software emulation) with a small initramfs holding busybox, the HID modules
# and this build's programs, where uhid pendants in both report layouts meet the plug-in
# (tests/hidvm/guest.sh). Then replays each live record outside the VM and compares the host
# actions with the live run's. Prints "hidvm: N passed, M failed" and fails on any failure, on
# a missing result line and on a qemu time-out.
#   scripts/run/hidvm.sh [BUILD_DIR]     (default build/posix; its programs are built when missing)
#   K4_HIDVM_CACHE=<dir> (default /var/cache/k4-hidvm), K4_HIDVM_TIMEOUT=<seconds> (default 150)
set -uo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/posix}
timeout_s=${K4_HIDVM_TIMEOUT:-150}
started=$SECONDS

boot=$(scripts/setup/hidvm.sh | tail -n 1) || { echo "hidvm: setup failed"; exit 1; }
[ -f "$boot/vmlinux" ] || { echo "hidvm: setup gave no kernel"; exit 1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  [ "$build" = build/posix ] || { echo "hidvm: $build is no build folder"; exit 1; }
  cmake --preset posix >/dev/null || { echo "hidvm: cannot configure the posix preset"; exit 1; }
fi
programs=(tests/hidvm/k4_hidvm_tests tests/hidvm/k4-uhid-pendant tools/hostsim/k4-hostsim
          Orvane_K4.so)
for program in "${programs[@]}"; do
  if [ ! -x "$build/$program" ] && [ ! -f "$build/$program" ]; then
    cmake --build "$build" --target k4_hidvm_tests k4-uhid-pendant k4-hostsim Orvane_K4 ||
      { echo "hidvm: cannot build the VM's programs in $build"; exit 1; }
    break
  fi
done

work=$(mktemp -d /tmp/k4-hidvm.XXXXXX)
qemu_pid=""
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- The initramfs: busybox, the modules, our programs with the libraries they load.
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,k4,lib/k4}
cp "$boot/busybox" "$root/bin/busybox"
ln -s busybox "$root/bin/sh"
cp "$boot"/modules/*.ko "$root/lib/k4/"
for program in "${programs[@]}"; do cp "$build/$program" "$root/k4/"; done
cp tests/hidvm/*.uhid "$root/k4/"
install -m 755 tests/hidvm/guest.sh "$root/init"
echo 'root:x:0:0:root:/tmp:/bin/sh
pendant:x:1000:1000:pendant:/tmp:/bin/sh' >"$root/etc/passwd"
echo 'root:x:0:
pendant:x:1000:' >"$root/etc/group"
# udev's own rule tester, where this machine has udev, to see the rule take the VM's node.
udevadm=$(command -v udevadm || true)
if [ -n "$udevadm" ]; then
  cp "$udevadm" "$root/k4/udevadm"
  mkdir -p "$root/etc/udev/rules.d"
  cp packaging/udev/70-orvane-k4.rules "$root/etc/udev/rules.d/"
fi
for program in "${programs[@]/#/$build/}" $udevadm; do
  ldd "$program" | grep -o '/[^ ]*' || true
done | sort -u | while read -r library; do
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio"

# ---- Boot. qemu exits 0 whatever the guest did: the result line on the console decides.
log=$work/console.log
timeout "$timeout_s" qemu-system-x86_64 -M q35 -nodefaults -nographic -serial stdio -no-reboot \
  -m 512 -accel tcg -smp 1 -kernel "$boot/vmlinux" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 quiet panic=-1 oops=panic" </dev/null >"$log" 2>&1 &
qemu_pid=$!
wait "$qemu_pid"
qemu_status=$?
qemu_pid=""
tr -d '\r' <"$log" >"$log.txt"
cp "$log.txt" "$build/hidvm-console.log"
echo "hidvm: the whole console: $build/hidvm-console.log"
grep -E '^K4VM (PASS|FAIL)|^\[ *(OK|FAILED|PASSED) *\]|^pendant: ' "$log.txt" | grep -v 'K4VM FILE'

passed=0
failed=0
result=$(grep -o 'K4VM RESULT: [0-9]* passed, [0-9]* failed' "$log.txt" | tail -n 1)
if [ "$qemu_status" -eq 124 ]; then
  echo "hidvm: FAIL: qemu timed out after ${timeout_s}s"
  failed=$((failed + 1))
elif [ -z "$result" ]; then
  echo "hidvm: FAIL: no result line on the console (qemu status $qemu_status); its end:"
  tail -n 30 "$log.txt"
  failed=$((failed + 1))
else
  read -r passed failed < <(echo "$result" | sed 's/.*: \([0-9]*\) passed, \([0-9]*\) failed/\1 \2/')
fi

# ---- Record and replay: the record made in the VM, replayed here, gives the live run's host
# actions (the live run's own notes start with #, its messages to the user with "k4-hostsim:",
# such as the warning about the new profile the live run keeps its settings in).
take() { sed -n "s/^K4VM FILE $1: //p" "$log.txt"; }
for layout in unnumbered numbered; do
  take "record-$layout" >"$work/record-$layout.k4"
  take "live-$layout" | grep -v -e '^#' -e '^k4-hostsim: ' >"$work/live-$layout.out"
  if ! grep -q '^report ' "$work/record-$layout.k4"; then
    echo "hidvm: FAIL: $layout replay: no record came out of the VM"
    failed=$((failed + 1))
    continue
  fi
  "$build/tools/hostsim/k4-hostsim" --plugin "$build/Orvane_K4.so" "$work/record-$layout.k4" \
    >"$work/replay-$layout.out" 2>&1
  if [ -s "$work/live-$layout.out" ] &&
    diff -u "$work/live-$layout.out" "$work/replay-$layout.out" >"$work/diff"; then
    echo "hidvm: PASS: $layout replay: the record gives the live run's $(wc -l <"$work/live-$layout.out") host actions"
    passed=$((passed + 1))
  else
    echo "hidvm: FAIL: $layout replay differs from the live run (- live, + replay):"
    cat "$work/diff"
    failed=$((failed + 1))
  fi
done

echo "hidvm: $passed passed, $failed failed ($((SECONDS - started))s, $(cat "$boot/VERSION"))"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
