#!/bin/sh
# /init of the hidraw test VM (scripts/run/hidvm.sh builds the initramfs around it): loads the HID
# modules, runs the backend and link tests against the real /sys and /dev, then the simulator
# live against uhid pendants, and prints "K4VM RESULT: N passed, M failed" on the console.
# Files the host side checks further are printed with a "K4VM FILE name: " prefix per line.
/bin/busybox --install -s /bin
export PATH=/bin:/k4 HOME=/tmp TMPDIR=/tmp
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
chmod 1777 /tmp

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "K4VM PASS: $*"; }
fail() { failed=$((failed + 1)); echo "K4VM FAIL: $*"; }
check() { # check TEXT COMMAND...
  text=$1
  shift
  if "$@"; then pass "$text"; else fail "$text"; fi
}
show() { sed "s/^/K4VM FILE $1: /" "$2"; }
finish() {
  echo "K4VM RESULT: $passed passed, $failed failed"
  poweroff -f
}

for module in hid uhid hid-generic; do
  insmod "/lib/k4/$module.ko" || { fail "insmod $module"; finish; }
done
[ -c /dev/uhid ] || { fail "no /dev/uhid"; finish; }

# ---- The backend and the link, both layouts: every test case counts.
k4_hidvm_tests --gtest_color=no >/tmp/gtest.log 2>&1
status=$?
cat /tmp/gtest.log
ok=$(grep -c '^\[       OK \]' /tmp/gtest.log)
bad=$(grep -c '^\[  FAILED  \] .*([0-9]* ms)$' /tmp/gtest.log)
passed=$((passed + ok))
failed=$((failed + bad))
[ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || fail "k4_hidvm_tests ended with status $status"
[ $((ok + bad)) -gt 0 ] || fail "k4_hidvm_tests ran no test"

# Starts the uhid pendant playing SCRIPT in LAYOUT and waits until it is plugged in.
start_pendant() { # LAYOUT SCRIPT LOG
  rm -f /tmp/k4-created /tmp/k4-played /tmp/k4-done /tmp/k4-connected-*
  k4-uhid-pendant "$1" "$2" >"$3" 2>&1 &
  pendant_pid=$!
  tries=0
  while [ ! -e /tmp/k4-created ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
  [ -e /tmp/k4-created ]
}
wait_for() { # FILE SECONDS
  tries=0
  while [ ! -e "$1" ] && [ $tries -lt $(($2 * 10)) ]; do sleep 0.1; tries=$((tries + 1)); done
  [ -e "$1" ]
}
fd_count() { ls "/proc/$1/fd" | wc -l; }
fd_list() { ls -l "/proc/$1/fd" | sed 's/.* \([0-9]* -> \)/\1/' | tr '\n' ' '; }

# ---- Live, each layout: the scripted session with a record, replayed on the host side.
for layout in unnumbered numbered; do
  if ! start_pendant $layout /k4/live.uhid /tmp/pendant-$layout.log; then
    fail "$layout: the uhid pendant was not created"
    continue
  fi
  # Named with --device, the simulator makes the plug-in's reads itself, so the record holds
  # each report in the very cycle that took it; the plug-in's own hidraw services are the ones
  # of the unplug run below and of k4_hidvm_tests.
  node=$(sed -n 's/^pendant: created //p' /tmp/pendant-$layout.log)
  k4-hostsim --plugin /k4/Orvane_K4.so --live --device "$node" --duration 6 \
    --record /tmp/record-$layout.k4 >/tmp/live-$layout.out 2>&1
  status=$?
  touch /tmp/k4-done
  wait $pendant_pid
  pendant_status=$?
  cat /tmp/pendant-$layout.log
  check "$layout live: the simulator ended well" [ $status -eq 0 ]
  check "$layout live: the pendant was read over hidraw" \
    grep -q "pendant hidraw $node (named with --device)" /tmp/live-$layout.out
  check "$layout live: the whole script was played within the session" [ -e /tmp/k4-played ]
  check "$layout live: every output report well formed" [ $pendant_status -eq 0 ]
  check "$layout live: output reports reached the pendant" \
    grep -q "pendant: [1-9][0-9]* output reports" /tmp/pendant-$layout.log
  check "$layout live: reports were recorded" grep -q "^report " /tmp/record-$layout.k4
  show "live-$layout" /tmp/live-$layout.out
  show "record-$layout" /tmp/record-$layout.k4
done

# ---- Live, three unplug and replug rounds.
if start_pendant unnumbered /k4/unplug.uhid /tmp/pendant-unplug.log; then
  k4-hostsim --plugin /k4/Orvane_K4.so --live --duration 9 >/tmp/live-unplug.out 2>&1 &
  sim_pid=$!
  wait_for /tmp/k4-connected-1 20 && sleep 0.3
  fds_before=$(fd_count $sim_pid)
  echo "K4VM unplug: the simulator's descriptors when connected: $(fd_list $sim_pid)"
  wait_for /tmp/k4-connected-4 20 && sleep 0.3
  fds_after=$(fd_count $sim_pid)
  echo "K4VM unplug: the simulator's descriptors after three rounds: $(fd_list $sim_pid)"
  wait $sim_pid
  status=$?
  touch /tmp/k4-done
  wait $pendant_pid
  pendant_status=$?
  cat /tmp/pendant-unplug.log
  check "unplug: the simulator ended well" [ $status -eq 0 ]
  check "unplug: the plug-in read the pendant with its own hidraw services" \
    grep -q "found by the plug-in's own hidraw services" /tmp/live-unplug.out
  check "unplug: all three rounds played within the session" [ -e /tmp/k4-connected-4 ]
  check "unplug: every output report well formed" [ $pendant_status -eq 0 ]
  resets=$(grep -c '^DoButton 1021$' /tmp/live-unplug.out)
  check "unplug: one DoButton 1021 per removal (3), got $resets" [ "$resets" -eq 3 ]
  # After each removal the pendant's next report is decoded: some other host action follows
  # every 1021 (what exactly is the decoders' business).
  rounds=$(awk '/^DoButton 1021$/ { seen = 1; after = 0; next }
                /^#/ || /^ENDJOG$/ { next }
                seen && !after { after = 1; resumed++ }
                END { print resumed + 0 }' /tmp/live-unplug.out)
  check "unplug: decoding resumed after each of the 3 returns, got $rounds" [ "$rounds" -eq 3 ]
  check "unplug: no descriptor leaked ($fds_before before, $fds_after after)" \
    test -n "$fds_before" -a "$fds_before" = "$fds_after"
  show live-unplug /tmp/live-unplug.out
else
  fail "unplug: the uhid pendant was not created"
fi

# ---- Hotplug: the simulator starts before the pendant exists; the pendant comes back under
# another hidraw number while another device holds its old one.
rm -f /tmp/k4-created /tmp/k4-done /tmp/k4-hotplug-done
k4-hostsim --plugin /k4/Orvane_K4.so --live --hidraw --duration 7 >/tmp/live-hotplug.out 2>&1 &
sim_pid=$!
sleep 1
k4-uhid-pendant unnumbered /k4/hotplug.uhid >/tmp/pendant-hotplug.log 2>&1 &
pendant_pid=$!
wait_for /tmp/k4-hotplug-done 30
wait $sim_pid
status=$?
touch /tmp/k4-done
wait $pendant_pid
pendant_status=$?
cat /tmp/pendant-hotplug.log
first=$(sed -n 's/^pendant: created //p' /tmp/pendant-hotplug.log | head -n 1)
second=$(sed -n 's/^pendant: created //p' /tmp/pendant-hotplug.log | sed -n 2p)
foreign=$(sed -n 's/^pendant: foreign device created //p' /tmp/pendant-hotplug.log)
check "hotplug: the simulator ended well" [ $status -eq 0 ]
check "hotplug: the script played within the session" [ -e /tmp/k4-hotplug-done ]
check "hotplug: the pendant player ended well" [ $pendant_status -eq 0 ]
check "hotplug: the other device took the pendant's old node ($first, $foreign)" \
  [ -n "$first" -a "$first" = "$foreign" ]
check "hotplug: the pendant came back under another node ($second)" \
  [ -n "$second" -a "$second" != "$first" ]
resets=$(grep -c '^DoButton 1021$' /tmp/live-hotplug.out)
check "hotplug: one DoButton 1021 for the one removal, got $resets" [ "$resets" -eq 1 ]
modes=$(grep -c '^DoButton 33[4-9]$' /tmp/live-hotplug.out)
check "hotplug: both knob positions decoded (mode codes: $modes)" [ "$modes" -ge 2 ]
show live-hotplug /tmp/live-hotplug.out

# ---- A node the user may not open: devtmpfs makes it 0600 root, and there is no udev here.
if start_pendant unnumbered /k4/plugged.uhid /tmp/pendant-denied.log; then
  node=$(sed -n 's/^pendant: created //p' /tmp/pendant-denied.log)
  if [ -x /k4/udevadm ]; then
    # udev's own tester applies the rules in /etc/udev/rules.d (only ours) to this node, whose
    # HID device uhid made: the rule must tag it all the same.
    udevadm test --action=add "/sys/class/hidraw/${node#/dev/}" >/tmp/udev.log 2>&1
    cat /tmp/udev.log
    check "udev $(udevadm --version): the rule tags the uhid pendant's node for the seat's user" \
      grep -q "^CURRENT_TAGS=.*:uaccess:" /tmp/udev.log
  fi
  chmod 0600 "$node"
  # The pendant is there and the user may not open it: the simulator says what to do and ends
  # (exit code 1) instead of quietly playing the keyboard's pendant.
  su -s /bin/sh pendant -c "k4-hostsim --plugin /k4/Orvane_K4.so --live --duration 3 \
    >/tmp/live-denied.out 2>&1"
  status=$?
  cat /tmp/live-denied.out
  check "denied: the simulator refused with exit code 1, got $status" [ $status -eq 1 ]
  check "denied: the message says why" grep -q "cannot be opened (Permission denied" \
    /tmp/live-denied.out
  check "denied: the message gives the udev commands" grep -q "sudo udevadm trigger" \
    /tmp/live-denied.out
  # Asked for, the keyboard's pendant plays; a busy loop would take the 3 seconds, the 25 ms
  # cycle and the dashboard take a sliver.
  su -s /bin/sh pendant -c "time -f '%U %S' -o /tmp/denied.time \
    k4-hostsim --plugin /k4/Orvane_K4.so --live --keyboard --duration 3 >/tmp/live-keys.out 2>&1"
  status=$?
  touch /tmp/k4-done
  wait $pendant_pid
  check "denied, --keyboard: the simulator ended well" [ $status -eq 0 ]
  cpu=$(awk '{ printf "%d", ($1 + $2) * 100 }' /tmp/denied.time)
  check "denied, --keyboard: no busy loop (${cpu}0 ms of CPU in 3 s)" [ "$cpu" -lt 100 ]
else
  fail "denied: the uhid pendant was not created"
fi

finish
