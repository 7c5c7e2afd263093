#!/usr/bin/env python3
"""Checks that a shared library exports exactly the six Pellix functions.

Reads the dynamic symbol table of the ELF file itself: every defined global or weak
symbol counts as an export.
"""
import struct
import sys

EXPECTED = {"encodeInfo", "encodeInfo2", "decodeInfo", "decodeInfo2", "asc2Str", "str2Asc"}
SHT_DYNSYM = 11
STB_GLOBAL, STB_WEAK = 1, 2
STT_FUNC = 2
SHN_UNDEF = 0


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def dynamic_exports(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"\x7fELF":
        fail(path + " is not an ELF file")
    is64 = data[4] == 2
    endian = "<" if data[5] == 1 else ">"
    if is64:
        shoff, = struct.unpack_from(endian + "Q", data, 0x28)
        shentsize, shnum = struct.unpack_from(endian + "HH", data, 0x3A)
    else:
        shoff, = struct.unpack_from(endian + "I", data, 0x20)
        shentsize, shnum = struct.unpack_from(endian + "HH", data, 0x2E)

    sections = []
    for i in range(shnum):
        base = shoff + i * shentsize
        if is64:
            _, sh_type, _, _, offset, size, link, _, _, entsize = struct.unpack_from(endian + "IIQQQQIIQQ", data, base)
        else:
            _, sh_type, _, _, offset, size, link, _, _, entsize = struct.unpack_from(endian + "IIIIIIIIII", data, base)
        sections.append((sh_type, offset, size, link, entsize))

    dynsyms = [s for s in sections if s[0] == SHT_DYNSYM]
    if len(dynsyms) != 1:
        fail("expected one dynamic symbol table, found %d" % len(dynsyms))
    _, offset, size, link, entsize = dynsyms[0]
    _, str_offset, str_size, _, _ = sections[link]

    exports = {}
    for base in range(offset, offset + size, entsize):
        if is64:
            name, info, _, shndx, _, _ = struct.unpack_from(endian + "IBBHQQ", data, base)
        else:
            name, _, _, info, _, shndx = struct.unpack_from(endian + "IIIBBH", data, base)
        binding, kind = info >> 4, info & 0x0F
        if shndx == SHN_UNDEF or binding not in (STB_GLOBAL, STB_WEAK):
            continue
        end = data.index(b"\0", str_offset + name)
        exports[data[str_offset + name:end].decode()] = kind
    return exports


def main():
    if len(sys.argv) != 2:
        fail("usage: check_elf_exports.py <shared library>")
    exports = dynamic_exports(sys.argv[1])
    print("exported: " + ", ".join(sorted(exports)))
    names = set(exports)
    if names != EXPECTED:
        missing = sorted(EXPECTED - names)
        extra = sorted(names - EXPECTED)
        fail("exports differ; missing %s, unexpected %s%s"
             % (missing, extra[:20], " and %d more" % (len(extra) - 20) if len(extra) > 20 else ""))
    not_functions = sorted(n for n, kind in exports.items() if kind != STT_FUNC)
    if not_functions:
        fail("not functions: %s" % not_functions)
    print("OK: exactly the six functions are exported")


if __name__ == "__main__":
    main()
