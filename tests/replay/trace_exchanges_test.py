#!/usr/bin/python3
"""Cases of tools/trace_exchanges.py on small hand-made traces: frames cut
across moves, a marker, polling that must not show, long bodies as digests."""

import hashlib
import importlib.util
import json
import os
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
source = importlib.util.spec_from_file_location(
    "trace_exchanges", os.path.join(HERE, "..", "..", "tools", "trace_exchanges.py"))
tool = importlib.util.module_from_spec(source)
source.loader.exec_module(tool)

WINDOW = 0x7F0000000000
LA = 128
FIFO = 0xC000 + 64 * LA + 0x2C
STATUS = WINDOW + 0xC000 + 64 * LA + 4
COUNT_OUT = WINDOW + 0xC000 + 64 * LA + 0x32


class Trace:
    def __init__(self):
        self.t = 10.0
        self.lines = [json.dumps({"trace": "q7340romupdate VISA calls", "version": "1.0.1.0",
                                  "library": "libvisa.so", "implVersion": None})]
        self.call("viMapAddress", vi=4098, space=1, offset="0x0", size=65536, status=0,
                  address="0x%x" % WINDOW)

    def call(self, fn, **fields):
        self.t += 0.001
        self.lines.append(json.dumps(dict({"t": self.t, "fn": fn}, **fields)))
        return self

    def peek(self, address, value):
        return self.call("viPeek16", vi=4098, address="0x%x" % address, value=value)

    def move(self, fn, words):
        data = "".join("%08x" % word for word in words)
        return self.call(fn, vi=4098, space=1, offset="0x%x" % FIFO, count=len(data) // 4,
                         status=0, data=data)


def conversation(polls):
    """An empty request answered after a marker, in two reads; a command with
    an 8-byte body and no answer; Status going down and up. `polls` repeats
    every poll of the host that many times."""
    trace = Trace()
    for _ in range(polls):
        trace.peek(STATUS, 1)
    trace.move("viMoveOut16", [0, 0x5F])
    for _ in range(polls):
        trace.peek(COUNT_OUT, 0)
    trace.move("viMoveIn16", [1, 4])
    trace.move("viMoveIn16", [0x5F, 0])
    trace.move("viMoveOut16", [8, 0x77, 0x61626364, 0x65666768])
    for value in (1, 0, 0, 1):
        for _ in range(polls):
            trace.peek(STATUS, value)
    return trace.lines


def without_times(records):
    return [{key: value for key, value in record.items() if key != "t"} for record in records]


class TraceExchangesTest(unittest.TestCase):
    def test_requests_replies_and_status_changes_in_order(self):
        records = without_times(tool.convert(conversation(polls=1)))
        empty = hashlib.sha256(b"").hexdigest()
        self.assertEqual(records, [
            {"exchanges": "q7340 module side", "format": 1, "program": "1.0.1.0",
             "library": "libvisa.so", "la": LA},
            {"status": "0x0001"},
            {"n": 1, "request": "0x5f", "length": 0, "sha256": empty, "body": ""},
            {"reply": "0x5f", "size": 4, "words": "00000000", "markers": 1},
            {"n": 2, "request": "0x77", "length": 8,
             "sha256": hashlib.sha256(b"abcdefgh").hexdigest(), "body": "6162636465666768"},
            {"status": "0x0000"},
            {"status": "0x0001"},
        ])

    def test_the_number_of_polls_does_not_show(self):
        once = without_times(tool.convert(conversation(polls=1)))
        often = without_times(tool.convert(conversation(polls=7)))
        self.assertEqual(once, often)

    def test_long_bodies_keep_only_their_digest_and_stray_words_are_kept(self):
        body = bytes(range(256)) * 17  # 4352 bytes
        words = [int.from_bytes(body[i:i + 4], "big") for i in range(0, len(body), 4)]
        trace = Trace()
        trace.move("viMoveOut16", [len(body), 0x7B] + words[:100])
        trace.move("viMoveOut16", words[100:])
        trace.move("viMoveIn16", [0xFFFFFFFE, 0xFFFFFFFF, 4, 0x7B, 0xFFFFFFF5])
        records = without_times(tool.convert(trace.lines))
        self.assertEqual(records[1], {"n": 1, "request": "0x7b", "length": len(body),
                                      "sha256": hashlib.sha256(body).hexdigest()})
        self.assertEqual(records[2], {"raw": "fffffffeffffffff"})
        self.assertEqual(records[3], {"reply": "0x7b", "size": 4, "words": "fffffff5"})

    def test_what_is_not_a_trace_is_refused(self):
        for lines in ([], ['{"fn":"viOpen"}'], ['not json']):
            with self.assertRaises(tool.TraceError):
                tool.convert(lines)


if __name__ == "__main__":
    unittest.main()
