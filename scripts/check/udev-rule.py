#!/usr/bin/env python3
"""Checks the pendant's udev rules file for what udev would refuse or never match.

Used where `udevadm verify` (systemd 253 and later) is not available. Each rule line must be
comma-separated KEY[{ATTR}] OPERATOR "VALUE" pairs with keys udev knows, match operators on
match keys and assignment operators on assignment keys. The rule must also match the names the
kernel gives the pendant's node and its HID device.
Usage: udev-rule.py RULES_FILE
"""
import fnmatch
import re
import sys

MATCH_KEYS = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "NAME", "SYMLINK", "SUBSYSTEM",
              "SUBSYSTEMS", "DRIVER", "DRIVERS", "ATTR", "ATTRS", "SYSCTL", "ENV", "TAG",
              "TAGS", "TEST", "PROGRAM", "RESULT", "CONST"}
ASSIGN_KEYS = {"NAME", "SYMLINK", "OWNER", "GROUP", "MODE", "SECLABEL", "ATTR", "SYSCTL", "ENV",
               "TAG", "RUN", "LABEL", "GOTO", "IMPORT", "OPTIONS"}
WITH_ATTRIBUTE = {"ATTR", "ATTRS", "SYSCTL", "ENV", "TEST", "RUN", "IMPORT", "SECLABEL", "CONST"}
PAIR = re.compile(r'\s*([A-Z]+)(\{[^}]+\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*')

# The names the kernel gives the pendant: its hidraw node and the HID device above it.
PENDANT = {"SUBSYSTEM": "hidraw", "KERNEL": "hidraw0", "KERNELS": "0003:04D8:FCE5.0001"}
OTHER = {"SUBSYSTEM": "hidraw", "KERNEL": "hidraw1", "KERNELS": "0003:04D8:FCE6.0002"}


def parse(line, number):
    pairs = []
    at = 0
    while at < len(line):
        found = PAIR.match(line, at)
        if not found:
            raise ValueError(f"line {number}: cannot read a KEY OP \"VALUE\" at: {line[at:]}")
        key, attribute, operator, value = found.groups()
        if operator in ("==", "!="):
            if key not in MATCH_KEYS:
                raise ValueError(f"line {number}: {key} cannot be matched")
        elif key not in ASSIGN_KEYS:
            raise ValueError(f"line {number}: {key} cannot be assigned")
        if (attribute is not None) != (key in WITH_ATTRIBUTE) and key not in ("IMPORT", "RUN"):
            raise ValueError(f"line {number}: {key} {'needs' if attribute is None else 'takes no'}"
                             " {attribute}")
        pairs.append((key, operator, value))
        at = found.end()
        if at < len(line):
            if line[at] != ",":
                raise ValueError(f"line {number}: expected a comma at: {line[at:]}")
            at += 1
            if not line[at:].strip():
                raise ValueError(f"line {number}: a comma ends the line")
    return pairs


def matches(pairs, device):
    for key, operator, value in pairs:
        if operator not in ("==", "!="):
            continue
        if key not in device:
            return False
        hit = any(fnmatch.fnmatchcase(device[key], pattern) for pattern in value.split("|"))
        if hit != (operator == "=="):
            return False
    return True


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    rules = []
    text = open(sys.argv[1], encoding="utf-8").read().replace("\\\n", "")
    try:
        for number, line in enumerate(text.splitlines(), 1):
            if line.strip() and not line.lstrip().startswith("#"):
                rules.append(parse(line.strip(), number))
    except ValueError as error:
        sys.exit(f"{sys.argv[1]}: {error}")
    granting = [rule for rule in rules if ("TAG", "+=", "uaccess") in rule]
    if not any(matches(rule, PENDANT) for rule in granting):
        sys.exit(f"{sys.argv[1]}: no rule gives the pendant's node {PENDANT} the uaccess tag")
    if any(matches(rule, OTHER) for rule in granting):
        sys.exit(f"{sys.argv[1]}: a rule gives another HID device's node the uaccess tag")
    # A controller run headless or over SSH has no seat: a group the installing user can join
    # (plugdev, which Debian always has) must open the node too, and nobody else.
    fallback = [rule for rule in rules if matches(rule, PENDANT) and ("GROUP", "=", "plugdev") in rule]
    if not any(("MODE", "=", "0660") in rule for rule in fallback):
        sys.exit(f"{sys.argv[1]}: no rule gives the pendant's node to group plugdev with MODE 0660")
    if any(matches(rule, OTHER) for rule in rules if any(key == "GROUP" for key, _, _ in rule)):
        sys.exit(f"{sys.argv[1]}: a rule hands another HID device's node to a group")
    print(f"{sys.argv[1]}: {len(rules)} rule(s) read, the pendant's node matched")


if __name__ == "__main__":
    main()
