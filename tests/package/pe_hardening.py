#!/usr/bin/env python3
"""Reads the hardening flags of Windows executables from their PE headers:
ASLR (DYNAMIC_BASE, with the base relocations it needs), a high-entropy
64-bit address space (HIGH_ENTROPY_VA) and DEP (NX_COMPAT). Prints one line
per file and fails when a flag is missing.
    pe_hardening.py FILE.exe..."""
import struct
import sys

PE32_PLUS = 0x20B
RELOCS_STRIPPED = 0x0001
FLAGS = {"HIGH_ENTROPY_VA": 0x0020, "DYNAMIC_BASE": 0x0040, "NX_COMPAT": 0x0100}
BASE_RELOCATION_DIRECTORY = 5


def missing_flags(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ":
        return ["not a PE file"]
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return ["not a PE file"]
    characteristics = struct.unpack_from("<H", data, pe + 4 + 18)[0]
    optional = pe + 4 + 20
    magic, = struct.unpack_from("<H", data, optional)
    if magic != PE32_PLUS:
        return ["not a 64-bit executable"]
    dll_characteristics, = struct.unpack_from("<H", data, optional + 70)
    # PE32+: 112 bytes of fixed fields, then the data directories (8 bytes each).
    directory = optional + 112 + 8 * BASE_RELOCATION_DIRECTORY
    relocations_size, = struct.unpack_from("<I", data, directory + 4)
    missing = [name for name, bit in FLAGS.items() if not dll_characteristics & bit]
    if characteristics & RELOCS_STRIPPED or relocations_size == 0:
        missing.append("base relocations (ASLR can't move it)")
    return missing


def main(paths):
    if not paths:
        print(__doc__, file=sys.stderr)
        return 2
    failed = False
    for path in paths:
        missing = missing_flags(path)
        if missing:
            failed = True
            print(f"{path}: missing {', '.join(missing)}")
        else:
            print(f"{path}: {' '.join(FLAGS)} and base relocations")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
