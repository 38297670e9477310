#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (the files beside this script).

Run it again after changing an input layout; the layouts are described at the
top of each target's source."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def words(*values):
    return b"".join(struct.pack("<I", v & 0xFFFFFFFF) for v in values)


def lwf(ops, initial_words, stream):
    """ops: (operation, a, b, c) tuples; initial_words: queued before the first, x 4."""
    head = bytes([len(ops) - 1, initial_words])
    return head + b"".join(bytes(op) for op in ops) + stream


READ = 0; READ_OFFSET = 1; PEEK = 2; PUMP = 3; READY = 4; DISPOSE = 5; QUEUE = 6; FILL = 7
CAP64 = (64, 0)
CAP63 = (63, 0)

SEEDS = {
    "lwf_receive_fuzz": {
        "valid_frame": lwf([(READ, 0, *CAP64), (READ, 1, *CAP64)], 255,
                           words(8, 0x2B, 0x11223344, 0x55667788, 4, 0x77, 0)),
        "marker_before_frame": lwf([(PEEK, 1, 0, 0), (READ, 0, *CAP64)], 255,
                                   words(1, 4, 0x7B, 0, 1, 8, 0x7A, 1, 2)),
        "negative_size": lwf([(READ, 0, *CAP64), (READ, 0, *CAP64)], 255,
                             words(0xFFFFFFF8, 0x2B, 0, 0, 0, 0x2B)),
        "huge_size": lwf([(PUMP, 0, 0, 0), (READY, 0, 0, 0)], 255,
                         words(0x7FFFFFF0, 0x2B, 0, 0)),
        "size_not_multiple_of_4": lwf([(READ, 0, *CAP64)], 255,
                                      words(6, 0x2B, 0, 0, 0)),
        "partial_frame": lwf([(READ, 0, *CAP64), (QUEUE, 3, 0, 0), (READ, 0, *CAP63)], 1,
                             words(100, 0x7A, 1, 2, *range(3, 28))),
        "three_frames_pump": lwf([(PUMP, 0, 0, 0), (PUMP, 7, 0, 0)], 255,
                                 words(0, 1, 4, 2, 9, 8, 3, 7, 7)),
        "readoffset": lwf([(READ_OFFSET, 2, 2, 0), (READ_OFFSET, 2, 1, 0x40), (READ_OFFSET, 8, 1, 1)], 255,
                          words(12, 0x7A, 0, 4, 0x61626364, 12, 0x7A, 0, 4, 0x65666768)),
        "lone_empty_frame": lwf([(PEEK, 0, 0, 0), (READ, 0, *CAP64), (DISPOSE, 0, 0, 0), (FILL, 0, 0, 0)], 255,
                                words(0, 0x5F)),
    },
    "msg_reply_fuzz": {
        # byte 0: bit 0 file read, bit 1 framed; bytes 1-2: count or capacity
        "revisions": bytes([2, 5, 0]) + words(0, 110000, 2051614, 2071509, 3041016, 10800),
        "revisions_newer_generation": bytes([2, 5, 0]) + words(0, 120500, 1, 2, 3, 4),
        "revisions_bad_status": bytes([2, 5, 0]) + words(0xFFFFFFF9),
        "revisions_marker_raw": bytes([0, 5, 0]) + words(1, 24, 0x2B, 0, 1, 2, 3, 4, 5),
        "file_read": bytes([3, 64, 0]) + words(0, 5, 0x68656C6C, 0x6F000000),
        "file_read_too_small": bytes([3, 4, 0]) + words(0, 5, 0x68656C6C, 0x6F000000),
        "file_read_no_file": bytes([3, 64, 0]) + words(0xFFFFFFF9),
        "partial_reply_raw": bytes([1, 64, 0]) + words(16, 0x7A, 0),
    },
    "command_line_fuzz": {
        "interactive": b"q7340romupdate\0\0VXI0\n128\n\n",
        "non_interactive": b"q7340romupdate\0-n\0\0",
        "revisions": b"./q7340romupdate\0-r\0-L\0" b"129\0\0\n",
        "segment_force": b"q7340romupdate\0-S\0" b"99\0-f\0-q\0\0",
        "bad_segment": b"q7340romupdate\0-S7\0\0\n",
        "usage": b"q7340romupdate\0-u\0/?\0\0",
        "version": b"q7340romupdate\0-v\0\0\n",
        "ip_address": b"q7340romupdate\0-I192.168.0.9\0\0\n\n\n",
        "interface_prompt": b"q7340romupdate\0\0IP\n10.0.0.1\n\n",
        "long_interface": b"q7340romupdate\0-V" + b"X" * 60 + b"\0\0",
        "bad_address_prompt": b"q7340romupdate\0-L=300\0\0",
    },
    "standin_revision_fuzz": {
        "srecord": b"S00D00007265763D31313030303046\nS1050000000FA\n",
        "srecord_two_headers": b"S00E00007265763D32303731353039FF\r\nS00D00007265763D31313030303046\n",
    },
}


def elf_with_revision(text):
    """A big-endian ELF32 object with a .revision section holding text."""
    names = b"\0.shstrtab\0.revision\0"
    names_at = 52
    text_at = names_at + len(names)
    shoff = (text_at + len(text) + 3) // 4 * 4
    header = bytearray(52)
    header[0:4] = b"\x7fELF"
    header[4], header[5], header[6] = 1, 2, 1
    struct.pack_into(">HHI", header, 16, 1, 20, 1)  # relocatable, PowerPC
    struct.pack_into(">I", header, 32, shoff)
    struct.pack_into(">HHHHHH", header, 40, 52, 0, 0, 40, 3, 1)
    body = bytes(header) + names + text
    body += b"\0" * (shoff - len(body))
    sections = bytes(40)
    sections += struct.pack(">IIIIIIIIII", 1, 3, 0, 0, names_at, len(names), 0, 0, 1, 0)
    sections += struct.pack(">IIIIIIIIII", 11, 1, 0, 0, text_at, len(text), 0, 0, 1, 0)
    return body + sections


SEEDS["standin_revision_fuzz"]["elf"] = elf_with_revision(b"2080609\0")
SEEDS["standin_revision_fuzz"]["elf_bad_digits"] = elf_with_revision(b"20x0609\0")

for target, seeds in SEEDS.items():
    os.makedirs(os.path.join(HERE, target), exist_ok=True)
    for name, content in seeds.items():
        with open(os.path.join(HERE, target, name), "wb") as out:
            out.write(content)
