#!/usr/bin/env python3
"""Writes the binary seed inputs of the extra-field, attribute and log-record targets (the text
seeds are plain files). Run from the repository root; the output is committed."""
import os
import struct

def write(target, name, data):
    os.makedirs(f"fuzz/corpus/{target}", exist_ok=True)
    with open(f"fuzz/corpus/{target}/{name}", "wb") as f:
        f.write(data)

def block(tag, data, size=None):
    return struct.pack("<HH", tag, len(data) if size is None else size) + data

ut_all = block(0x5455, bytes([7]) + struct.pack("<iii", 1700000000, -1, 0))
write("extended_timestamp", "ut_all", ut_all)
write("extended_timestamp", "after_other", block(0x0001, b"\0" * 8) + block(0x5455, b"\x01" + struct.pack("<i", 86400)))
write("extended_timestamp", "cut", block(0x5455, b"\x07\x01\x02", size=13))
write("extended_timestamp", "oversized", block(0x5455, b"\x03" + b"\xff" * 8, size=0xFFFF))

write("entry_attributes", "dos_readonly", struct.pack("<HIHH", 0x0014, 0x21, 0x5A21, 0x6000))
write("entry_attributes", "unix_dir", struct.pack("<HIHH", 0x0314, 0x41ED0010, 0x0000, 0xBF7D))
write("entry_attributes", "ntfs_hidden", struct.pack("<HIHH", 0x0B3F, 0x26, 0x0261, 0x0000))

write("log_record", "short", bytes([2]) + struct.pack("<qH", 1772870709, 0) + b"hello\n")
write("log_record", "at_limit", bytes([4]) + struct.pack("<qH", 0, 99) + b"x" * 40 + b"\n")
write("log_record", "over_limit", bytes([9]) + struct.pack("<qH", -1, 199) + b"a\0b\nc" * 20)
