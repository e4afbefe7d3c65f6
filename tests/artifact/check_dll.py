#!/usr/bin/env python3
"""Checks the built plug-in DLLs as files, the way a browser's plug-in loader sees them.

Reads each PE image itself (no source): the format, the five exports with their ordinals and
undecorated names, the calling convention of each export (from its machine code; 32-bit only, x64
has one convention), the imported DLLs and functions, and the version resource with the plug-in's
keys in order. What each file must be follows from its name (the table PRODUCTS).

Usage: check_dll.py path/to/nptovi32.dll [path/to/nptovi64.dll ...]   (exit 0 when every check passes)
"""
import os
import re
import struct
import subprocess
import sys

EXPORTS = {
    1: "NP_GetEntryPoints",
    2: "NP_Initialize",
    3: "NP_Shutdown",
    4: "NP_GetMIMEDescription",
    5: "NP_GetValue",
}
# How each 32-bit export returns: __stdcall pops its arguments, __cdecl leaves them to the caller.
RETURNS_I386 = {
    "NP_GetEntryPoints": "ret $0x4",
    "NP_Initialize": "ret $0x4",
    "NP_Shutdown": "ret",
    "NP_GetMIMEDescription": "ret",
    "NP_GetValue": "ret",
}
# Windows' own DLLs; anything else (libgcc, libstdc++, winpthread, ...) would have to ship alongside.
SYSTEM_DLLS = {"kernel32.dll", "winspool.drv", "iphlpapi.dll", "msvcrt.dll", "user32.dll",
               "advapi32.dll", "ntdll.dll"}
REQUIRED_IMPORTS = {
    "winspool.drv": {"OpenPrinterA", "StartDocPrinterA", "StartPagePrinter", "WritePrinter",
                     "EndPagePrinter", "EndDocPrinter", "ClosePrinter", "EnumPrintersA",
                     "GetDefaultPrinterA"},
    "iphlpapi.dll": {"GetIfTable"},
    # The site policy, read only, its values as the registry keeps them (UTF-16).
    "advapi32.dll": {"RegOpenKeyExA", "RegQueryValueExW", "RegCloseKey"},
    # Printer names compared ignoring letter case only.
    "kernel32.dll": {"CompareStringOrdinal"},
}

def version_strings(module):
    """The version resource's strings, in order: the same identity for both DLLs, each its own file name."""
    return [
        ("CompanyName", "Ternaport"),
        ("FileDescription", "Ternaport Print Plugin"),
        ("FileVersion", "0.0.0.11"),
        ("InternalName", module),
        ("LegalCopyright", None),  # any notice
        ("OriginalFilename", f"{module}.dll"),
        ("ProductName", "Ternaport Print Plugin"),
        ("ProductVersion", "0.0.0.11"),
        ("MIMEType", "application/x-vnd-tovi-print"),
        ("FileExtents", ""),
        ("FileOpenName", ""),
    ]


# The products by file name: a browser loads only a DLL of its own bitness, so the name promises the
# machine. magic 0x10B is PE32, 0x20B PE32+; pointer is the size of an import thunk.
PRODUCTS = {
    "nptovi32.dll": {"machine": (0x14C, "i386"), "magic": (0x10B, "PE32"), "pointer": 4,
                     "objdump": "i686-w64-mingw32-objdump", "returns": RETURNS_I386},
    "nptovi64.dll": {"machine": (0x8664, "x86-64"), "magic": (0x20B, "PE32+"), "pointer": 8,
                     "objdump": "x86_64-w64-mingw32-objdump", "returns": {}},
}

failures = []
passed = 0


def check(condition, what):
    global passed
    if condition:
        passed += 1
        print(f"  ok    {what}")
    else:
        failures.append(what)
        print(f"  FAIL  {what}")


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, opt_size, self.characteristics) = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        # PE32+ widens the image base to 8 bytes and drops the field before it.
        wide = self.magic == 0x20B
        self.image_base = struct.unpack_from("<Q" if wide else "<I", data, opt + (24 if wide else 28))[0]
        dirs = opt + (112 if wide else 96)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            name, vsize, vaddr, rsize, rptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), rptr))

    def offset(self, rva):
        for vaddr, size, rptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} outside every section")

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def u64(self, rva):
        return struct.unpack_from("<Q", self.data, self.offset(rva))[0]

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")


def exports(image):
    rva, _ = image.directories[0]
    base = image.u32(rva + 16)
    count, names = image.u32(rva + 20), image.u32(rva + 24)
    functions, name_table, ordinals = image.u32(rva + 28), image.u32(rva + 32), image.u32(rva + 36)
    by_ordinal = {}
    for i in range(count):
        address = image.u32(functions + 4 * i)
        if address:
            by_ordinal[base + i] = [None, address]
    for i in range(names):
        name = image.cstring(image.u32(name_table + 4 * i))
        by_ordinal[base + image.u16(ordinals + 2 * i)][0] = name
    return by_ordinal


def imports(image, pointer):
    """{dll: [function names, or "#ordinal"]}; each thunk is pointer bytes, its top bit the ordinal flag."""
    read = image.u64 if pointer == 8 else image.u32
    by_ordinal = 1 << (8 * pointer - 1)
    rva, _ = image.directories[1]
    result = {}
    while True:
        lookup, _, _, name, first = struct.unpack_from("<IIIII", image.data, image.offset(rva))
        if name == 0:
            return result
        functions = []
        thunk = lookup or first
        while True:
            entry = read(thunk)
            if entry == 0:
                break
            functions.append(f"#{entry & 0xFFFF}" if entry & by_ordinal else image.cstring(entry + 2))
            thunk += pointer
        result[image.cstring(name).lower()] = functions
        rva += 20


def version_resource(image):
    """Returns the VS_VERSIONINFO block (type 16, name 1, language 1033) as bytes."""
    root, _ = image.directories[2]

    def entries(directory):
        named, ids = struct.unpack_from("<HH", image.data, image.offset(root + directory + 12))
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", image.data,
                                               image.offset(root + directory + 16 + 8 * i))
            yield ident, target

    def child(directory, ident):
        for key, target in entries(directory):
            if key == ident and target & 0x80000000:
                return target & 0x7FFFFFFF
        raise ValueError(f"no resource entry {ident}")

    names = child(0, 16)
    languages = child(names, 1)
    for key, target in entries(languages):
        if key == 1033 and not target & 0x80000000:
            data_rva, size = struct.unpack_from("<II", image.data, image.offset(root + target))
            start = image.offset(data_rva)
            return image.data[start:start + size]
    raise ValueError("no version resource in language 1033")


def parse_block(data, at):
    """One version-resource node: (key, value bytes, value type, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_start = at + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[pos:pos + value_size]
    pos = (pos + value_size + 3) & ~3
    children = []
    while pos < end:
        node = parse_block(data, pos)
        children.append(node)
        pos = (node[4] + 3) & ~3
    return key, value, kind, children, end


def first_return(objdump, path, image, rva):
    """The first return instruction met when disassembling from an export's address."""
    start = image.image_base + rva
    out = subprocess.run(
        [objdump, "-d", "--no-show-raw-insn", f"--start-address={start:#x}",
         f"--stop-address={start + 512:#x}", path],
        check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        match = re.search(r"\t(ret\S*(?:\s+\$0x[0-9a-f]+)?)\s*$", line)
        if match:
            return re.sub(r"\s+", " ", match.group(1)).replace("retl", "ret")
    return None


def check_dll(path):
    file_name = os.path.basename(path)
    product = PRODUCTS.get(file_name)
    check(product is not None, f"{file_name} is one of {', '.join(PRODUCTS)}")
    if product is None:
        return
    with open(path, "rb") as f:
        image = Image(f.read())

    print(f"{file_name}: format")
    machine, machine_name = product["machine"]
    magic, magic_name = product["magic"]
    check(image.machine == machine, f"machine is {machine_name} (found {image.machine:#x})")
    check(image.magic == magic, f"optional header is {magic_name} (found {image.magic:#x})")
    check(image.characteristics & 0x2000 != 0, "image is a DLL")
    if (image.machine, image.magic) != (machine, magic):
        return

    print(f"{file_name}: exports")
    table = exports(image)
    check(sorted(table) == sorted(EXPORTS), f"exactly the ordinals 1 to 5 (found {sorted(table)})")
    for ordinal, name in EXPORTS.items():
        found = table.get(ordinal, [None, None])
        check(found[0] == name, f"ordinal {ordinal} is {name} (found {found[0]})")
    returns = product["returns"]
    for ordinal, (export, address) in table.items():
        if export in returns:
            got = first_return(product["objdump"], path, image, address)
            check(got == returns[export], f"{export} returns with '{returns[export]}' (found '{got}')")

    print(f"{file_name}: imports")
    dlls = imports(image, product["pointer"])
    for dll, functions in sorted(dlls.items()):
        check(dll in SYSTEM_DLLS, f"{dll} is one of Windows' own DLLs")
        by_ordinal = [f for f in functions if f.startswith("#")]
        check(not by_ordinal, f"{dll}: every function imported by name" + (f" (by ordinal: {by_ordinal})" if by_ordinal else ""))
    for dll, required in REQUIRED_IMPORTS.items():
        missing = required - set(dlls.get(dll, []))
        check(not missing, f"{dll} supplies {', '.join(sorted(required))}"
              + (f" (missing {', '.join(sorted(missing))})" if missing else ""))

    print(f"{file_name}: version resource")
    key, fixed, _, children, _ = parse_block(version_resource(image), 0)
    check(key == "VS_VERSION_INFO", "block VS_VERSION_INFO")
    (signature, _, file_ms, file_ls, product_ms, product_ls, mask, flags, file_os, kind,
     subtype) = struct.unpack_from("<11I", fixed, 0)
    check(signature == 0xFEEF04BD, "fixed part signature")
    check((file_ms, file_ls) == (0, 11), "file version 0.0.0.11")
    check((product_ms, product_ls) == (0, 11), "product version 0.0.0.11")
    check(mask == 0x3F and flags & 0x1, "flags mask 0x3F with the debug flag set")
    check(file_os == 0x40000 and kind == 2 and subtype == 0, "VOS_NT, VFT_DLL, subtype 0")
    blocks = {child[0]: child for child in children}
    tables = blocks.get("StringFileInfo", (None, None, None, [], None))[3]
    check([t[0] for t in tables] == ["040904E4"], "one string table, 040904E4")
    strings = [(s[0], s[1].decode("utf-16-le").rstrip("\0")) for s in (tables[0][3] if tables else [])]
    expected_strings = version_strings(file_name[:-len(".dll")])
    check([k for k, _ in strings] == [k for k, _ in expected_strings],
          f"string keys in order: {', '.join(k for k, _ in strings)}")
    values = dict(strings)
    for key, expected in expected_strings:
        if expected is not None:
            check(values.get(key) == expected, f"{key} = \"{expected}\" (found {values.get(key)!r})")
        else:
            check(bool(values.get(key)), f"{key} holds a notice")
    variables = blocks.get("VarFileInfo", (None, None, None, [], None))[3]
    translation = [struct.unpack("<HH", v[1][:4]) for v in variables if v[0] == "Translation"]
    check(translation == [(0x0409, 0x04E4)], "Translation 0x0409, 0x04E4")


def main(paths):
    for path in paths:
        check_dll(path)
    print(f"{passed} passed, {len(failures)} failed")
    return 0 if not failures else 1


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
