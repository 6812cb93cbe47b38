#!/usr/bin/env python3
"""Checks that Windows executables load on Windows 95 OSR2 and later.

    check-imports.py EXPORTS_DIR program.exe...

Every function a program imports must be exported by the system DLL it names,
as listed in EXPORTS_DIR/<dll>.txt (one name per line), and must not be a
wide-character one (MessageBoxW: Windows 9x exports most as stubs that fail);
an import by ordinal, a DLL without a list, delay-loaded imports, a subsystem
version above 4.0 (which Windows 9x refuses to load) and imports that parse to
none or to none from KERNEL32 (an unreadable program) fail too. Names every
problem and ends with status 1 when anything fails.
"""
import os
import re
import struct
import sys

# Imports that a rule above would fail, allowed one by one, each with the
# reason it does no harm on Windows 9x. The program itself calls none of these
# wide-character functions, which fail there; MinGW-w64's run time does.
ALLOWED = {
    ("kernel32.dll", "CreateSemaphoreW"): "libgcc's win32 threads: the run time's own mutexes "
        "work without their semaphore until two threads contend (the program locks with PlatMutex)",
    ("kernel32.dll", "GetModuleHandleW"): "the C run time looks up msvcrt.dll's "
        "___lc_codepage_func and rand_s with it, and takes its own stand-ins where that fails",
    ("kernel32.dll", "LoadLibraryW"): "only for std::random_device, which the program never "
        "makes (MinGW's rand_s stand-in, which libstdc++'s string code links in)",
}
WIDE = re.compile(r"[a-z0-9]W$")


class PeImage:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        self.pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        coff = self.pe + 4
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from(
            "<HHIIIHH", self.data, coff)
        self.optional = coff + 20
        magic = struct.unpack_from("<H", self.data, self.optional)[0]
        if magic not in (0x10B, 0x20B):
            raise ValueError(f"unknown optional header magic {magic:#x}")
        self.wide = magic == 0x20B
        self.subsystem_version = struct.unpack_from("<HH", self.data, self.optional + 48)
        directories = self.optional + (112 if self.wide else 96)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i)
                            for i in range(16)]
        table = self.optional + optional_size
        self.sections = []
        for i in range(sections):
            (virtual_size, address, raw_size,
             raw_offset) = struct.unpack_from("<IIII", self.data, table + 40 * i + 8)
            self.sections.append((address, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError(f"address {rva:#x} lies in no section")

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        """[(dll, name or None for an ordinal, ordinal or None)]"""
        found = []
        rva, _ = self.directories[1]
        if rva == 0:
            return found
        at = self.offset(rva)
        entry_size, ordinal_flag = (8, 1 << 63) if self.wide else (4, 1 << 31)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                break
            dll = self.string(name)
            thunk = self.offset(lookup or first)
            while True:
                value = struct.unpack_from("<Q" if self.wide else "<I", self.data, thunk)[0]
                if value == 0:
                    break
                if value & ordinal_flag:
                    found.append((dll, None, value & 0xFFFF))
                else:
                    found.append((dll, self.string((value & 0x7FFFFFFF) + 2), None))
                thunk += entry_size
            at += 20
        return found


def exports_of(directory, dll, cache):
    key = dll.lower()
    if key not in cache:
        path = os.path.join(directory, os.path.splitext(key)[0] + ".txt")
        cache[key] = None
        if os.path.exists(path):
            with open(path) as f:
                cache[key] = {line.strip() for line in f if line.strip()}
    return cache[key]


def check(path, directory, cache):
    problems = []
    image = PeImage(path)
    major, minor = image.subsystem_version
    if (major, minor) > (4, 0):
        problems.append(f"subsystem version {major}.{minor}: Windows 9x loads 4.0 at most")
    if image.directories[13][0] != 0:
        problems.append("delay-loaded imports, which this check does not read")
    imports = image.imports()
    if not imports:
        problems.append("no imports found: not a program this check can read")
    elif all(dll.lower() != "kernel32.dll" for dll, _, _ in imports):
        problems.append("no imports from KERNEL32.DLL: not a program this check can read")
    for dll, name, ordinal in imports:
        if name is None:
            problems.append(f"{dll}: import by ordinal {ordinal}")
            continue
        exported = exports_of(directory, dll, cache)
        if (dll.lower(), name) in ALLOWED:
            continue
        if exported is None:
            unlisted = f"{dll}: no list of what Windows 95 OSR2 exports from it"
            if unlisted not in problems:
                problems.append(unlisted)
        elif name not in exported:
            problems.append(f"{dll}: {name} is not exported by Windows 95 OSR2")
        elif WIDE.search(name):
            problems.append(f"{dll}: {name} is a wide-character function, which Windows 9x "
                            "exports as a stub that fails (or allow it, with the reason)")
    return imports, problems


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    directory, programs = argv[1], argv[2:]
    if not os.path.isdir(directory):
        sys.exit(f"check-imports: {directory}: no such folder of export lists")
    cache = {}
    failed = False
    for path in programs:
        try:
            imports, problems = check(path, directory, cache)
        except (OSError, ValueError, struct.error) as error:
            print(f"{path}: cannot be read: {error}")
            failed = True
            continue
        dlls = sorted({dll.upper() for dll, _, _ in imports})
        if problems:
            failed = True
            print(f"{path} ({len(imports)} imports) fails on Windows 95 OSR2:")
            for problem in problems:
                print(f"  {problem}")
        else:
            allowed = sorted(name for dll, name, _ in imports if (dll.lower(), name) in ALLOWED)
            print(f"{path}: all {len(imports)} imports are exported by Windows 95 OSR2 "
                  f"({', '.join(dlls)}; allowed: {', '.join(allowed) or 'none'})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
