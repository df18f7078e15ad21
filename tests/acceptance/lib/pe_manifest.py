#!/usr/bin/env python3
"""Prints the application manifest embedded in a Windows program: the resource of type 24 (manifest),
name 1 (the one read when the process is created), read through the PE resource directory.
Exits 1 with a reason when the file is no PE program or holds no such resource."""
import struct
import sys


def fail(reason):
    sys.stderr.write("pe_manifest: %s\n" % reason)
    sys.exit(1)


def main(path):
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        fail("not a Windows program")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        fail("no PE header")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)  # PE32 or PE32+
    resource_rva, resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if resource_size == 0:
        fail("no resources")
    section_table = optional + optional_size
    spans = [struct.unpack_from("<IIII", data, section_table + 40 * i + 8) for i in range(sections)]

    def offset(rva):
        for size, start, raw_size, raw in spans:
            if start <= rva < start + max(size, raw_size):
                return raw + rva - start
        fail("address 0x%x outside every section" % rva)

    base = offset(resource_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + numbered):
            ident, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            yield ident, target

    def find(directory, wanted):
        for ident, target in entries(directory):
            if ident == wanted and target & 0x80000000:
                return target & 0x7FFFFFFF
        fail("no resource entry %d" % wanted)

    languages = find(find(0, 24), 1)
    for _, target in entries(languages):
        if target & 0x80000000:
            continue
        data_rva, size = struct.unpack_from("<II", data, base + target)
        start = offset(data_rva)
        sys.stdout.write(data[start:start + size].decode("utf-8"))
        return
    fail("manifest resource without data")


if __name__ == "__main__":
    main(sys.argv[1])
