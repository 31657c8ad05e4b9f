#!/usr/bin/env bash
# Checks the syntax of the udev rule in packaging/udev: with `udevadm verify` where the installed
# udev has it (systemd 253 and later), and always with our own parse and match check
# (scripts/check/udev-rule.py), which also makes sure the rule matches the pendant's node.
set -euo pipefail
cd "$(dirname "$0")/../.."
rules=packaging/udev/70-orvane-k4.rules
if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify --resolve-names=never "$rules"
else
  echo "udevadm $(udevadm --version 2>/dev/null || echo missing) has no verify; own check only"
fi
python3 scripts/check/udev-rule.py "$rules"
