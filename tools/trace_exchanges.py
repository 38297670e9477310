#!/usr/bin/python3
"""Turns a VISA trace (q7340romupdate --visa-trace=FILE) into the module's
side of the conversation: the request frames the host wrote into the kind-1
FIFO, the frames the module answered, and the Status values the host read.
The record's format is in docs/visa-trace.md ("The exchange record"); the
simulator replays it (Q7SIM_REPLAY, sim/README.md).

    tools/trace_exchanges.py [--without-times] TRACE [RECORD]

RECORD defaults to standard output. --without-times leaves out the "t"
fields, so that a record kept under version control changes only when the
conversation does.

Standard library only; installed nowhere.
"""

import hashlib
import json
import sys

FORMAT = 1
REGISTER_BLOCKS = 0xC000      # A16 address of the register block of LA 0
BLOCK_SIZE = 64
FIFO16 = 0x2C                 # kind-1 FIFO data register, both directions
STATUS = 0x04                 # Status/Control register
A16 = 1                       # VI_A16_SPACE
BODY_LIMIT = 4096             # longer request bodies are kept as digests only
MAX_PAYLOAD = 16 * 1024 * 1024
MARKER = 1


class TraceError(Exception):
    pass


def block_register(offset):
    """(LA, register offset) of an A16 bus offset inside the register blocks."""
    if offset < REGISTER_BLOCKS or offset >= REGISTER_BLOCKS + 256 * BLOCK_SIZE:
        return None, None
    relative = offset - REGISTER_BLOCKS
    return relative // BLOCK_SIZE, relative % BLOCK_SIZE


class Stream:
    """Bytes of one direction of the FIFO, cut into frames. Each frame is
    reported with the trace line that brought its first byte."""

    def __init__(self, markers):
        self.pending = bytearray()
        self.first_line = None   # trace line of pending's first byte
        self.markers = markers   # module side: a word 1 where a header is due is dropped
        self.marker_count = 0

    def feed(self, data, line, t):
        if not self.pending:
            self.first_line = (line, t)
        self.pending += data
        out = []
        while True:
            item = self._next(line, t)
            if item is None:
                return out
            out.append(item)

    def _next(self, line, t):
        if len(self.pending) < 4:
            return None
        size = int.from_bytes(self.pending[0:4], "big")
        if self.markers and size == MARKER:
            del self.pending[0:4]
            self.marker_count += 1
            self._keep()
            return self._next(line, t)
        if size >= 0x80000000 or size % 4 != 0 or size > MAX_PAYLOAD:
            # Not a frame: the word is kept as it crossed, and the next word is
            # taken as a size word again.
            word = bytes(self.pending[0:4])
            del self.pending[0:4]
            at = self.first_line
            self._keep()
            return ("raw", at, word, 0)
        if len(self.pending) < 8 + size:
            return None
        tag = int.from_bytes(self.pending[4:8], "big")
        body = bytes(self.pending[8:8 + size])
        del self.pending[0:8 + size]
        at = self.first_line
        markers, self.marker_count = self.marker_count, 0
        self._restart(line, t)
        return ("frame", at, (tag, body), markers)

    def _restart(self, line, t):
        # What follows a whole frame came with the line that completed it.
        self.first_line = (line, t) if self.pending else None

    def _keep(self):
        # What follows a dropped word may still be from the same earlier line.
        if not self.pending:
            self.first_line = None

    def leftover(self):
        if not self.pending:
            return None
        return ("raw", self.first_line, bytes(self.pending), 0)


def request_record(number, t, tag, body):
    record = {"n": number, "t": t, "request": "0x%x" % tag, "length": len(body),
              "sha256": hashlib.sha256(body).hexdigest()}
    if len(body) <= BODY_LIMIT:
        record["body"] = body.hex()
    return record


def reply_record(t, tag, body, markers):
    record = {"t": t, "reply": "0x%x" % tag, "size": len(body), "words": body.hex()}
    if markers:
        record["markers"] = markers
    return record


class Converter:
    """Follows the trace's calls: the A16 windows (for the host addresses of
    peeks), the FIFO data register of the module's block in both directions,
    and the module's Status register."""

    def __init__(self):
        self.header = None
        self.windows = {}     # session -> (host address, bus offset) of its A16 window
        self.la = None        # the module's LA: that of the first FIFO move
        self.host = Stream(markers=False)
        self.module = Stream(markers=True)
        self.events = []      # (trace line, order, record); order: request, reply, status
        self.last_status = None
        self.start = None

    def take(self, number, call):
        if self.header is None:
            if call.get("trace") != "q7340romupdate VISA calls":
                raise TraceError("line 1 is not the header of a q7340romupdate VISA trace")
            self.header = call
            return
        t = call.get("t", 0.0)
        if self.start is None:
            self.start = t
        t = round(t - self.start, 6)
        fn = call.get("fn")
        if fn == "viMapAddress" and call.get("status", -1) >= 0 and call.get("space") == A16:
            self.windows[call["vi"]] = (int(call["address"], 16), int(call["offset"], 16))
        elif fn == "viUnmapAddress":
            self.windows.pop(call.get("vi"), None)
        elif fn in ("viMoveOut16", "viMoveIn16") and call.get("space") == A16:
            self.move(number, t, call, fn == "viMoveOut16")
        elif fn == "viPeek16" and call.get("vi") in self.windows:
            base, offset = self.windows[call["vi"]]
            block, register = block_register(int(call["address"], 16) - base + offset)
            if register != STATUS or (self.la is not None and block != self.la):
                return
            value = call.get("value", 0)
            if value != self.last_status:
                self.last_status = value
                self.events.append((number, 2, {"t": t, "status": "0x%04x" % value}))

    def move(self, number, t, call, out):
        block, register = block_register(int(call["offset"], 16))
        if register != FIFO16 or call.get("status", -1) < 0 or "data" not in call:
            return
        if self.la is None:
            self.la = block
        if block != self.la:
            return
        stream = self.host if out else self.module
        for kind, (line, first_t), value, markers in stream.feed(bytes.fromhex(call["data"]),
                                                                 number, t):
            if out and kind == "raw":
                continue  # a size word the module refuses as well
            if out:
                # A request counts from its last byte: the module has it then.
                self.events.append((number, 0, ("request", t, value)))
            elif kind == "raw":
                self.events.append((line, 1, {"t": first_t, "raw": value.hex()}))
            else:
                self.events.append((line, 1, reply_record(first_t, value[0], value[1], markers)))

    def records(self):
        if self.header is None:
            raise TraceError("the trace is empty")
        tail = self.module.leftover()
        if tail is not None:
            kind, (line, t), value, _ = tail
            self.events.append((line, 1, {"t": t, "raw": value.hex()}))
        yield {"exchanges": "q7340 module side", "format": FORMAT,
               "program": self.header.get("version"), "library": self.header.get("library"),
               "la": self.la if self.la is not None else -1}
        self.events.sort(key=lambda event: (event[0], event[1]))
        requests = 0
        previous = None
        for _, _, record in self.events:
            if isinstance(record, tuple):
                _, t, (tag, body) = record
                requests += 1
                record = request_record(requests, t, tag, body)
            if previous is not None and "raw" in previous and "raw" in record:
                previous["raw"] += record["raw"]  # stray words in a row make one record
                continue
            if previous is not None:
                yield previous
            previous = record
        if previous is not None:
            yield previous


def convert(lines):
    """The record's lines (dicts) for the trace's lines."""
    converter = Converter()
    for number, text in enumerate(lines):
        text = text.strip()
        if not text:
            continue
        try:
            call = json.loads(text)
        except ValueError as error:
            raise TraceError("line %d is not JSON: %s" % (number + 1, error))
        converter.take(number, call)
    return list(converter.records())


def main(argv):
    times = "--without-times" not in argv[1:2]
    if not times:
        argv = argv[:1] + argv[2:]
    if len(argv) not in (2, 3) or argv[1] in ("-h", "--help"):
        sys.stderr.write("usage: trace_exchanges.py [--without-times] TRACE [RECORD]\n")
        return 2
    try:
        with open(argv[1], encoding="utf-8") as trace:
            records = convert(trace)
    except (OSError, UnicodeDecodeError, TraceError) as error:
        sys.stderr.write("trace_exchanges.py: %s: %s\n" % (argv[1], error))
        return 1
    if not times:
        for record in records:
            record.pop("t", None)
    out = [json.dumps(record, separators=(",", ":")) for record in records]
    text = "\n".join(out) + "\n"
    if len(argv) == 3:
        with open(argv[2], "w", encoding="utf-8") as record:
            record.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
