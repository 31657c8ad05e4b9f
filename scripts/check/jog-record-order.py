#!/usr/bin/env python3
"""Checks, in a built module's machine code, the order in which a jog record is written.

The host's motion side reads the record while the plug-in writes it, so the compiled code must
store every field first, then the stop byte, then the start byte, each store on its own (never
the two bytes merged into one 16-bit store), and startOrUpdateJog must do it by calling the one
function that writes the record (no inlined or cloned copy that nobody checked).

usage: jog-record-order.py OBJDUMP MODULE     (the .so, or the DLL with its own objdump)
"""
import re
import subprocess
import sys

WRITER = "k4::continuous_jog::writeJogRecord("
CALLER = "k4::PendantWindow::startOrUpdateJog("
# Field offsets and widths in bytes, as the host boundary header lays the record out.
FIELDS = {0: 4, 4: 4, 8: 4, 12: 4}
STOP_BYTE = 16
START_BYTE = 17

SUFFIX_WIDTH = {"b": 1, "w": 2, "l": 4, "q": 8}
REGISTER_WIDTH = [
    (re.compile(r"^%(al|bl|cl|dl|sil|dil|[abcd]h|r\d+b)$"), 1),
    (re.compile(r"^%([abcd]x|si|di|r\d+w)$"), 2),
    (re.compile(r"^%(e[abcd]x|esi|edi|ebp|esp|r\d+d)$"), 4),
    (re.compile(r"^%(r[abcd]x|rsi|rdi|rbp|rsp|r\d+)$"), 8),
]
STACK_BASES = {"%esp", "%rsp", "%ebp", "%rbp"}


def functions(disassembly):
    """Maps each function's demangled name to its instruction lines."""
    result = {}
    name = None
    for line in disassembly.splitlines():
        header = re.match(r"^[0-9a-f]+ <(.*)>:$", line)
        if header:
            name = header.group(1)
            result[name] = []
        elif name is not None and line.strip():
            result[name].append(line)
        else:
            name = None
    return result


def find(funcs, prefix):
    found = [name for name in funcs if name.startswith(prefix)]
    if len(found) != 1:
        sys.exit(f"FAIL: expected one function {prefix}...), found {found}")
    return found[0], funcs[found[0]]


def width_of(mnemonic, source):
    for pattern, width in REGISTER_WIDTH:
        if pattern.match(source):
            return width
    if mnemonic.startswith("mov") and mnemonic[-1] in SUFFIX_WIDTH and mnemonic != "mov":
        return SUFFIX_WIDTH[mnemonic[-1]]
    return None


def stores(lines):
    """(offset, width) of every store to memory that is not on the stack, in program order."""
    result = []
    for line in lines:
        parts = line.split("\t")
        if len(parts) < 2:
            continue
        instruction = parts[-1].strip()
        match = re.match(r"^(\S+)\s+(.*)$", instruction)
        if not match:
            continue
        mnemonic, operands = match.groups()
        operands = re.sub(r"\s+#.*$", "", operands)
        destination = re.match(r"^(.*),(-?(?:0x[0-9a-f]+)?)\((%\w+)[^)]*\)$", operands)
        if not destination or mnemonic.startswith(("cmp", "test", "lea", "nop")):
            continue
        source, displacement, base = destination.groups()
        if base in STACK_BASES:
            continue
        offset = int(displacement, 16) if displacement else 0
        result.append((offset, width_of(mnemonic, source), instruction))
    return result


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    objdump, module = sys.argv[1:]
    disassembly = subprocess.run([objdump, "-d", "-C", "--no-show-raw-insn", module],
                                 check=True, capture_output=True, text=True).stdout
    funcs = functions(disassembly)
    writer_name, writer = find(funcs, WRITER)
    _, caller = find(funcs, CALLER)

    found = stores(writer)
    for offset, width, instruction in found:
        print(f"  store +{offset:<2} width {width}: {instruction}")
    problems = []
    if len(found) != len(FIELDS) + 2:
        problems.append(f"{len(found)} stores, expected {len(FIELDS) + 2}")
    else:
        fields = {offset: width for offset, width, _ in found[:len(FIELDS)]}
        if fields != FIELDS:
            problems.append(f"the first stores are not the four fields: {fields}")
        if found[-2][:2] != (STOP_BYTE, 1):
            problems.append("the stop byte is not stored alone after the fields")
        if found[-1][:2] != (START_BYTE, 1):
            problems.append("the start byte is not stored alone after the stop byte")
    if not any("call" in line and WRITER in line for line in caller):
        problems.append(f"{CALLER}...) does not call {writer_name}")
    if problems:
        for problem in problems:
            print(f"FAIL: {problem}")
        sys.exit(1)
    print(f"OK: {module}: fields, then stop byte, then start byte, each stored on its own")


if __name__ == "__main__":
    main()
