#!/usr/bin/env python3
"""Checks a cross-built Pellix.dll by reading its PE headers directly.

- machine type and DLL flag;
- the export table holds exactly the six functions, undecorated;
- the DLL imports only system libraries (no compiler run-time DLLs to ship beside it);
- the version resource: language Chinese (Simplified, PRC), file and product version
  1.0.0.1 and the version strings;
- the caller program imports the six functions from Pellix.dll by those same names.
"""
import argparse
import struct
import sys

EXPORTS = {"encodeInfo", "encodeInfo2", "decodeInfo", "decodeInfo2", "asc2Str", "str2Asc"}
MACHINES = {"i386": 0x014C, "amd64": 0x8664}
IMAGE_FILE_DLL = 0x2000
RT_VERSION = 16
LANG_ZH_CN = 0x0804
CODEPAGE_UNICODE = 1200
VERSION_1_0_0_1 = (0x00010000, 0x00000001)
STRINGS = {
    "FileDescription": "Pellix DLL",
    "FileVersion": "1.0.0.1",
    "InternalName": "Pellix",
    "OriginalFilename": "Pellix.DLL",
    "ProductName": "Pellix Dynamic Link Library",
    "ProductVersion": "1.0.0.1",
}
# Libraries every Windows installation has.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll"}

failures = []


def check(condition, message):
    print(("ok:   " if condition else "FAIL: ") + message)
    if not condition:
        failures.append(message)
    return condition


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError(path + ": no MZ header")
        pe, = struct.unpack_from("<I", d, 0x3C)
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError(path + ": no PE signature")
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", d, pe + 4)
        optional = pe + 24
        magic, = struct.unpack_from("<H", d, optional)
        if magic == 0x10B:
            self.pe32plus = False
            count_at, dirs_at = optional + 92, optional + 96
        elif magic == 0x20B:
            self.pe32plus = True
            count_at, dirs_at = optional + 108, optional + 112
        else:
            raise ValueError(path + ": unknown optional header magic %#x" % magic)
        count, = struct.unpack_from("<I", d, count_at)
        self.directories = [struct.unpack_from("<II", d, dirs_at + 8 * i) for i in range(count)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<8sIIII", d, table + 40 * i)
            self.sections.append((vaddr, max(vsize, raw_size), raw_ptr, raw_size))

    def offset(self, rva):
        for vaddr, size, raw_ptr, raw_size in self.sections:
            if vaddr <= rva < vaddr + size and rva - vaddr < raw_size:
                return raw_ptr + rva - vaddr
        raise ValueError("address %#x lies in no section" % rva)

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def directory(self, index):
        if index >= len(self.directories):
            return 0, 0
        return self.directories[index]

    def exports(self):
        rva, size = self.directory(0)
        if not rva:
            return None, [], 0
        name_rva, _, functions, names, _, names_at, _ = struct.unpack_from(
            "<IIIIIII", self.data, self.offset(rva) + 12)
        dll_name = self.cstring(name_rva)
        return dll_name, [self.cstring(self.u32(names_at + 4 * i)) for i in range(names)], functions

    def imports(self):
        rva, _ = self.directory(1)
        result = {}
        while rva:
            lookup, _, _, name_rva, first_thunk = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if not (lookup or name_rva or first_thunk):
                break
            dll = self.cstring(name_rva)
            thunk = lookup or first_thunk
            step, flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
            names = []
            while True:
                entry = struct.unpack_from("<Q" if self.pe32plus else "<I", self.data, self.offset(thunk))[0]
                if entry == 0:
                    break
                names.append("#%d" % (entry & 0xFFFF) if entry & flag else self.cstring((entry & 0x7FFFFFFF) + 2))
                thunk += step
            result[dll] = names
            rva += 20
        return result

    def resource_entries(self, base, directory):
        at = self.offset(base + directory)
        named, ids = struct.unpack_from("<HH", self.data, at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
            yield name, target

    def version_resources(self):
        """(language, bytes) for every RT_VERSION resource."""
        base, _ = self.directory(2)
        if not base:
            return []
        found = []
        for type_id, type_dir in self.resource_entries(base, 0):
            if type_id != RT_VERSION or not type_dir & 0x80000000:
                continue
            for _, name_dir in self.resource_entries(base, type_dir & 0x7FFFFFFF):
                if not name_dir & 0x80000000:
                    continue
                for language, data_entry in self.resource_entries(base, name_dir & 0x7FFFFFFF):
                    data_rva, data_size = struct.unpack_from("<II", self.data, self.offset(base + data_entry))
                    start = self.offset(data_rva)
                    found.append((language, self.data[start:start + data_size]))
        return found


def align4(n):
    return (n + 3) & ~3


def version_node(block, at):
    """One node of the version tree: (key, value bytes, value type, children, end)."""
    length, value_length, value_type = struct.unpack_from("<HHH", block, at)
    end = at + length
    key_at = at + 6
    key_end = key_at
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[key_at:key_end].decode("utf-16-le")
    value_at = align4(key_end + 2)
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = block[value_at:value_at + value_bytes]
    children = []
    child = align4(value_at + value_bytes)
    while child < end:
        node = version_node(block, child)
        children.append(node)
        child = align4(node[4])
    return key, value, value_type, children, end


def check_version(pe):
    resources = pe.version_resources()
    if not check(len(resources) == 1, "one version resource (found %d)" % len(resources)):
        return
    language, block = resources[0]
    check(language == LANG_ZH_CN, "version resource language %#06x is Chinese (Simplified, PRC)" % language)

    key, value, _, children, _ = version_node(block, 0)
    check(key == "VS_VERSION_INFO", "root key is VS_VERSION_INFO")
    if check(len(value) == 52, "fixed file information present"):
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIIIII", value, 0)
        check(signature == 0xFEEF04BD, "fixed file information signature")
        check((file_ms, file_ls) == VERSION_1_0_0_1, "file version 1.0.0.1")
        check((product_ms, product_ls) == VERSION_1_0_0_1, "product version 1.0.0.1")

    by_key = {c[0]: c for c in children}
    tables = by_key.get("StringFileInfo", (None, None, None, []))[3]
    table = next((t for t in tables if t[0].upper() == "080404B0"), None)
    if check(table is not None, "string table 080404B0 (Chinese (Simplified, PRC), Unicode)"):
        strings = {s[0]: s[1].decode("utf-16-le").rstrip("\0") for s in table[3]}
        for name, expected in STRINGS.items():
            check(strings.get(name) == expected, '%s is "%s" (found %r)' % (name, expected, strings.get(name)))
    variables = by_key.get("VarFileInfo", (None, None, None, []))[3]
    translation = next((v for v in variables if v[0] == "Translation"), None)
    if check(translation is not None and len(translation[1]) >= 4, "translation entry present"):
        pairs = struct.unpack_from("<%dH" % (len(translation[1]) // 2), translation[1], 0)
        check(tuple(pairs[:2]) == (LANG_ZH_CN, CODEPAGE_UNICODE),
              "translation is 0x0804, 1200 (found %s)" % (pairs,))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--machine", choices=sorted(MACHINES), required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--caller", required=True)
    args = parser.parse_args()

    try:
        dll = PeFile(args.dll)
        caller = PeFile(args.caller)
    except (OSError, ValueError) as error:
        print("FAIL: %s" % error)
        return 1

    check(dll.machine == MACHINES[args.machine], "machine type %#06x is %s" % (dll.machine, args.machine))
    check(bool(dll.characteristics & IMAGE_FILE_DLL), "the file is a DLL")

    dll_name, names, function_count = dll.exports()
    check(dll_name is not None and dll_name.lower() == "pellix.dll", "export table names Pellix.dll (%s)" % dll_name)
    check(set(names) == EXPORTS and len(names) == len(EXPORTS),
          "exported names are exactly the six, undecorated: %s" % ", ".join(sorted(names)))
    check(function_count == len(EXPORTS), "six exported entry points (found %d)" % function_count)

    imports = dll.imports()
    foreign = sorted(d for d in imports if d.lower() not in SYSTEM_DLLS and not d.lower().startswith("api-ms-win-"))
    check(not foreign, "imports only system DLLs: %s" % ", ".join(sorted(imports)))

    check_version(dll)

    called = next((names for d, names in caller.imports().items() if d.lower() == "pellix.dll"), None)
    check(called is not None and set(called) == EXPORTS,
          "the caller imports the six names from Pellix.dll: %s" % (", ".join(sorted(called or []))))

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("OK: %s passes every check" % args.dll)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (ValueError, struct.error, IndexError, UnicodeDecodeError) as error:
        print("FAIL: malformed PE file: %s" % error)
        sys.exit(1)
