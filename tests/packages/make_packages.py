#!/usr/bin/env python3
"""Writes the good and bad update packages of this folder (see README.md).

The package streams are encoded here, independently of the C++ builder; the LZMA1 data
comes from Python's lzma module. One package is made by qxpack itself, whose path is the
first argument: python3 make_packages.py build/native/tools/qxpack/qxpack
"""
import lzma
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MARKER = bytes([0xA5, 0x8F, 0xA5, 0x78])
LEAD = 89999


def number(value):
    return ((value + 239) & 0xFFFFFFFF).to_bytes(4, "big")


def text(value):
    return bytes((b + 0x23) & 0xFF for b in value) + b"\0"


def data(value):
    return bytes((b - 0x4D) & 0xFF for b in value)


def checksum(entries):
    total = 0
    for i, (name, content) in enumerate(entries, 1):
        first = name[0] - 256 if name and name[0] >= 128 else (name[0] if name else 0)
        for b in content:
            total += i + 10 + first + b
    return total & 0xFFFFFFFF


def stream(entries, code=b"QXE", delta=0, date=4618):
    s = number(checksum(entries) + delta) + text(code) + text(b"1.0") + text(b"2.0") + number(date)
    for name, content in entries:
        s += number(len(content)) + text(name) + data(content)
    return s


def package(s, declared=None, lead=b"\0" * LEAD, props=0x5D):
    packed = lzma.compress(s, format=lzma.FORMAT_RAW,
                           filters=[{"id": lzma.FILTER_LZMA1, "dict_size": 1 << 16, "lc": 3, "lp": 0, "pb": 2}])
    size = len(s) if declared is None else declared
    return lead + MARKER + bytes([props]) + (1 << 16).to_bytes(4, "little") + size.to_bytes(4, "big") + packed


def write(name, content):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(content)


FILES = [(b"QXEdit.exe", b"MZ" + bytes(range(256)) * 20), (b"sub\\readme.txt", b"Read me.\r\n"),
         (b"empty.dat", b"")]

# The golden package of package_golden_test.cpp, byte for byte.
GOLDEN_DATA = bytes.fromhex(
    "0000600C34A9C3FF2877B847D051FCEBFA91E504" "80569C799EAA9AB21E0C8477D0E6B9FF5DDF1585"
    "09E61E18F0D1F17FF0B84CEDC7FFFF8E000000")
write("golden.pkg", b"L" * LEAD + MARKER + bytes([0x5D, 0x00, 0x10, 0x00, 0x00, 0, 0, 0, 0x34]) + GOLDEN_DATA)

write("good-end-marker.pkg", package(stream(FILES)))
write("good-marked-lead.pkg", package(stream(FILES), lead=MARKER * 22000 + b"\0" * 2999))
write("good-empty-name.pkg", package(stream(FILES + [(b"", b"not extracted")])))
write("good-header-only.pkg", package(stream([]), lead=b"\0" * LEAD))
write("bad-empty.pkg", b"")
write("bad-short.pkg", (MARKER * 22500)[:LEAD])
write("bad-no-marker.pkg", package(stream(FILES))[:LEAD] + b"\0" * 500)
write("bad-cut.pkg", package(stream(FILES))[:-20])
write("bad-declared-size.pkg", package(stream(FILES), declared=len(stream(FILES)) + 1))
write("bad-checksum.pkg", package(stream(FILES, delta=1)))
good = bytearray(package(stream(FILES)))
good[LEAD + 13] = 0x01  # the range coder's first byte must be 0
write("bad-corrupt.pkg", bytes(good))
write("bad-properties.pkg", package(stream(FILES), props=225))
write("bad-long-code.pkg", package(stream(FILES, code=b"QXED")))
write("bad-long-name.pkg", package(stream(FILES + [(b"n" * 1020, b"x")])))
write("bad-zero-in-name.pkg", package(stream([(b"a\0b", b"x")])))
write("bad-escaping-name.pkg", package(stream(FILES + [(b"..\\evil.txt", b"evil")])))
write("bad-missing-folder.pkg", package(stream(FILES + [(b"nofolder\\x.txt", b"x")])))

with tempfile.TemporaryDirectory() as folder:
    os.makedirs(os.path.join(folder, "sub"))
    for name, content in FILES:
        with open(os.path.join(folder, name.decode().replace("\\", "/")), "wb") as f:
            f.write(content)
    subprocess.run([sys.argv[1], "build", os.path.join(HERE, "good-qxpack.pkg"), "--code", "QXE", "--text1", "1.0",
                    "--text2", "2.0", "--date", "2024-04-30", folder], check=True)
