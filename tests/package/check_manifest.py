#!/usr/bin/env python3
"""Reads the application manifest (resource type RT_MANIFEST, id 1) back out
of Windows executables and checks what it declares.

  check_manifest.py program.exe...          the programs' manifest: per-monitor
                                            v2 DPI awareness, Windows 7 to 11,
                                            asInvoker
  check_manifest.py --dpi-aware setup.exe   a DPI-aware manifest only

Prints one line per problem and exits 1 when there is any."""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_MANIFEST = 24
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}


def sections(data):
    """(virtual address, virtual size, file offset) of each PE section."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    for i in range(count):
        size, address, _, offset = struct.unpack_from("<4I", data, table + 40 * i + 8)
        yield address, size, offset


def resource_directory(data):
    """File offset and virtual address of the resource directory."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    directories = pe + 24 + (112 if magic == 0x20B else 96)
    address = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    for start, size, offset in sections(data):
        if start <= address < start + size:
            return offset + address - start, address
    raise ValueError("no resources")


def entries(data, table):
    named, numbered = struct.unpack_from("<12xHH", data, table)
    for i in range(named + numbered):
        yield struct.unpack_from("<II", data, table + 16 + 8 * i)


def manifest(path):
    data = open(path, "rb").read()
    root, root_address = resource_directory(data)
    for type_id, type_offset in entries(data, root):
        if type_id != RT_MANIFEST:
            continue
        # Type -> first name -> first language -> data entry.
        node = root + (type_offset & 0x7FFFFFFF)
        for _ in range(2):
            _, offset = next(entries(data, node))
            node = root + (offset & 0x7FFFFFFF)
        address, size = struct.unpack_from("<II", data, node)
        start = root + address - root_address
        return data[start:start + size]
    return None


def local(tag):
    return tag.rsplit("}", 1)[-1]


def problems(path, dpi_only):
    try:
        text = manifest(path)
    except (OSError, ValueError, struct.error) as error:
        return [f"unreadable: {error}"]
    if text is None:
        return ["no manifest"]
    document = ElementTree.fromstring(text)
    found = {}
    for element in document.iter():
        found.setdefault(local(element.tag), []).append(element)
    texts = lambda name: [(e.text or "").strip() for e in found.get(name, [])]
    result = []
    if not any(t.lower() in ("true", "true/pm", "per monitor") for t in texts("dpiAware")):
        result.append("no dpiAware")
    if dpi_only:
        return result
    awareness = [part.strip() for t in texts("dpiAwareness") for part in t.split(",")]
    if not awareness or awareness[0] != "PerMonitorV2":
        result.append(f"dpiAwareness is {awareness}, not PerMonitorV2 first")
    systems = {e.get("Id", "").lower() for e in found.get("supportedOS", [])}
    for guid, name in SUPPORTED_OS.items():
        if guid not in systems:
            result.append(f"no supportedOS for {name}")
    levels = [e.get("level") for e in found.get("requestedExecutionLevel", [])]
    if levels != ["asInvoker"]:
        result.append(f"requestedExecutionLevel is {levels}, not asInvoker")
    return result


def main(arguments):
    dpi_only = arguments[:1] == ["--dpi-aware"]
    paths = arguments[1:] if dpi_only else arguments
    failed = False
    for path in paths:
        for problem in problems(path, dpi_only):
            print(f"{path}: {problem}")
            failed = True
    return 1 if failed or not paths else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
