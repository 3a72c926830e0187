#!/usr/bin/env python3
"""Writes the seed inputs of the property-list fuzz target into corpus/.

Each seed is small (a few KB at most) and aims at one thing the readers must
survive: shared sub-objects that expand exponentially (ladders), nesting at
and beyond the limit, trailers claiming huge object counts, NUL in strings
and keys, dates far from 2001, and ordinary lists of every type. Inputs the
fuzzer found are added to corpus/ beside them by hand (crash-<hash> names).
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


class Binary:
    """Builds a bplist00 byte by byte; containers hold object numbers."""

    def __init__(self):
        self.objects = []

    def _add(self, kind, payload):
        self.objects.append((kind, payload))
        return len(self.objects) - 1

    @staticmethod
    def header(kind, count):
        if count < 15:
            return bytes([(kind << 4) | count])
        return bytes([(kind << 4) | 0xF, 0x13]) + struct.pack(">Q", count)

    def raw(self, data):
        return self._add("raw", data)

    def boolean(self, value):
        return self.raw(b"\x09" if value else b"\x08")

    def integer(self, value):
        return self.raw(b"\x13" + struct.pack(">q", value))

    def unsigned(self, value):
        return self.raw(b"\x14" + struct.pack(">QQ", 0, value))

    def real(self, value):
        return self.raw(b"\x23" + struct.pack(">d", value))

    def real32(self, value):
        return self.raw(b"\x22" + struct.pack(">f", value))

    def date(self, seconds):
        return self.raw(b"\x33" + struct.pack(">d", seconds))

    def data(self, value):
        return self.raw(self.header(4, len(value)) + value)

    def ascii(self, value):
        return self.raw(self.header(5, len(value)) + value)

    def utf16(self, text):
        encoded = text.encode("utf-16-be")
        return self.raw(self.header(6, len(encoded) // 2) + encoded)

    def array(self, refs):
        return self._add("array", list(refs))

    def dict(self, keys, values):
        return self._add("dict", list(keys) + list(values))

    def build(self, top, count=None, top_claim=None, table=None, ref_size=None):
        ref_size = ref_size or (1 if len(self.objects) < 256 else 2 if len(self.objects) < 65536 else 4)
        out = bytearray(b"bplist00")
        offsets = []
        for kind, payload in self.objects:
            offsets.append(len(out))
            if kind == "raw":
                out += payload
                continue
            n = len(payload) // 2 if kind == "dict" else len(payload)
            out += self.header(0xA if kind == "array" else 0xD, n)
            for ref in payload:
                out += ref.to_bytes(ref_size, "big")
        table_at = len(out)
        offset_size = 1 if table_at < 256 else 2 if table_at < 65536 else 4
        for offset in offsets:
            out += offset.to_bytes(offset_size, "big")
        out += bytes(6) + bytes([offset_size, ref_size])
        out += struct.pack(">QQQ", len(self.objects) if count is None else count,
                           top if top_claim is None else top_claim,
                           table_at if table is None else table)
        return bytes(out)


def xml(body):
    return (b'<?xml version="1.0" encoding="UTF-8"?>\n'
            b'<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
            b'"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
            b'<plist version="1.0">\n' + body + b"\n</plist>\n")


def device_keys(b, udid, name, state):
    keys = [b.ascii(k) for k in (b"UDID", b"deviceType", b"name", b"runtime", b"state")]
    values = [b.ascii(udid), b.ascii(b"com.apple.CoreSimulator.SimDeviceType.iPhone-6"),
              name, b.ascii(b"com.apple.CoreSimulator.SimRuntime.iOS-10-0"), state]
    return b.dict(keys, values)


def seeds():
    udid = b"8D2A1E3F-5B6C-4D7E-8F90-A1B2C3D4E5F6"
    out = {}
    out["xml-device.plist"] = xml(
        b"<dict>\n\t<key>UDID</key>\n\t<string>" + udid + b"</string>\n"
        b"\t<key>deviceType</key>\n\t<string>com.apple.CoreSimulator.SimDeviceType.iPhone-6</string>\n"
        b"\t<key>name</key>\n\t<string>iPhone 6</string>\n"
        b"\t<key>runtime</key>\n\t<string>com.apple.CoreSimulator.SimRuntime.iOS-10-0</string>\n"
        b"\t<key>state</key>\n\t<integer>3</integer>\n</dict>")
    out["xml-every-type.plist"] = xml(
        b"<dict><key>s</key><string>a &lt;&amp;&gt; &#13; \xc3\xa9 \xf0\x9f\x98\x80</string>"
        b"<key>i</key><integer>-9223372036854775808</integer>"
        b"<key>u</key><integer>18446744073709551615</integer><key>h</key><integer>0x7f</integer>"
        b"<key>r</key><real>-0</real><key>n</key><real>nan</real><key>inf</key><real>+infinity</real>"
        b"<key>t</key><true/><key>f</key><false/><key>d</key><data>\n\tAAEC\n\t/w==\n\t</data>"
        b"<key>a</key><array><array/><dict/><string/></array>"
        b"<!-- comment --><key>dt</key><date>2016-09-13T12:30:15.250Z</date></dict>")
    out["xml-dates.plist"] = xml(
        b"<array><date>2100-01-01T00:00:00Z</date><date>1900-01-01T00:00:00Z</date>"
        b"<date>0001-01-01T00:00:00Z</date><date>9999-12-31T23:59:59.999Z</date>"
        b"<date>1932-12-13T20:45:52Z</date><date>2069-01-01T00:00:00.5</date></array>")
    out["xml-date-out-of-range.plist"] = xml(b"<date>10000-01-01T00:00:00Z</date>")
    out["xml-deep-128.plist"] = xml(b"<array>" * 128 + b"</array>" * 128)
    out["xml-deep-129.plist"] = xml(b"<array>" * 129 + b"</array>" * 129)
    out["xml-deep-unclosed.plist"] = b"<plist>" + b"<dict><key>k</key>" * 200
    out["xml-nul-string.plist"] = xml(b"<string>a&#0;b</string>")
    out["xml-nul-key.plist"] = xml(b"<dict><key>&#x0;</key><true/></dict>")
    out["xml-control.plist"] = xml(b"<string>bell&#7;</string>")
    out["xml-entity.plist"] = (b'<!DOCTYPE plist [<!ENTITY a "aaaaaaaa"><!ENTITY b "&a;&a;&a;&a;">]>'
                               b"<plist><string>&b;&b;&b;&b;</string></plist>")
    out["xml-key-without-value.plist"] = xml(b"<dict><key>a</key></dict>")
    out["xml-two-values.plist"] = xml(b"<true/><false/>")

    b = Binary()
    out["bin-device.plist"] = b.build(device_keys(b, udid, b.ascii(b"iPhone 6"), b.integer(3)))

    b = Binary()
    keys = [b.ascii(k) for k in (b"s", b"u16", b"i", b"u", b"r", b"f", b"t", b"d", b"a", b"dt")]
    values = [b.ascii(b"iPhone"), b.utf16("\u00fcn\u00efcode \U0001F600"), b.integer(-7),
              b.unsigned(2**64 - 1), b.real(0.1), b.real32(2.5), b.boolean(True),
              b.data(b"\x00\x01\xff"), b.array([]), b.date(0.25)]
    out["bin-every-type.plist"] = b.build(b.dict(keys, values))

    b = Binary()
    out["bin-dates.plist"] = b.build(b.array([b.date(3124137600.0), b.date(-3155760000.0),
                                              b.date(-0.5), b.date(-1e-3)]))
    b = Binary()
    out["bin-date-huge.plist"] = b.build(b.array([b.date(1e15)]))
    b = Binary()
    out["bin-date-nan.plist"] = b.build(b.date(float("nan")))

    b = Binary()
    rung = b.ascii(b"leaf")
    for _ in range(64):
        rung = b.array([rung, rung])
    out["bin-ladder-64.plist"] = b.build(rung)
    b = Binary()
    rung = b.ascii(b"leaf")
    for _ in range(6):
        rung = b.array([rung, rung, rung])
    out["bin-ladder-6.plist"] = b.build(rung)
    b = Binary()
    key = b.ascii(b"k")
    rung = b.ascii(b"leaf")
    for _ in range(40):
        rung = b.dict([key, b.ascii(b"j")], [rung, rung])
    out["bin-ladder-dict.plist"] = b.build(rung)
    # Few values, long texts at the bottom: megabytes once written out.
    b = Binary()
    rung = b.ascii(b"x" * 200)
    for _ in range(14):
        rung = b.array([rung, rung])
    out["bin-ladder-long-text.plist"] = b.build(rung)
    b = Binary()
    big = b.data(b"x" * 2048)
    out["bin-shared-data.plist"] = b.build(b.array([big] * 40))

    for depth in (128, 129):
        b = Binary()
        for i in range(depth - 1):
            b.array([i + 1])
        b.array([])
        out["bin-deep-%d.plist" % depth] = b.build(0)

    b = Binary()
    top = b.array([b.ascii(b"a"), b.integer(1)])
    out["bin-huge-count.plist"] = b.build(top, count=2**62)
    out["bin-count-all-ones.plist"] = b.build(top, count=2**64 - 1)
    out["bin-top-out-of-range.plist"] = b.build(top, top_claim=99)
    out["bin-table-beyond.plist"] = b.build(top, table=2**40)
    b = Binary()
    out["bin-huge-string.plist"] = b.build(b.raw(b"\x5f\x13\x40" + bytes(7)))
    b = Binary()
    out["bin-huge-array.plist"] = b.build(b.raw(b"\xaf\x13\x10" + bytes(7)))
    b = Binary()
    out["bin-huge-utf16.plist"] = b.build(b.raw(b"\x6f\x13\x7f" + b"\xff" * 7))

    b = Binary()
    out["bin-nul-string.plist"] = b.build(
        device_keys(b, udid, b.ascii(b"iPhone\x006"), b.integer(1)))
    b = Binary()
    out["bin-nul-key.plist"] = b.build(b.dict([b.ascii(b"UD\x00ID")], [b.integer(1)]))
    b = Binary()
    out["bin-utf16-nul.plist"] = b.build(b.array([b.utf16("a\x00b")]))
    b = Binary()
    out["bin-lone-surrogate.plist"] = b.build(b.raw(b"\x61\xd8\x00"))

    b = Binary()
    b.array([0])
    out["bin-cycle.plist"] = b.build(0)
    b = Binary()
    b.array([1])
    b.dict([2], [0])
    b.ascii(b"key")
    out["bin-cycle-through-dict.plist"] = b.build(0)
    b = Binary()
    b.dict([1], [1])
    b.integer(3)
    out["bin-number-key.plist"] = b.build(0)
    b = Binary()
    out["bin-null-fill-uid-set.plist"] = b.build(
        b.array([b.raw(b"\x00"), b.raw(b"\x0f"), b.raw(b"\x80\x01"), b.raw(b"\xc1\x00")]))
    out["bin-truncated.plist"] = out["bin-device.plist"][:-1]
    out["bin-version-01.plist"] = b"bplist01" + out["bin-device.plist"][8:]
    return out


def main():
    os.makedirs(CORPUS, exist_ok=True)
    for name, data in sorted(seeds().items()):
        if len(data) > 8192:
            sys.exit("seed %s is too large (%d bytes)" % (name, len(data)))
        with open(os.path.join(CORPUS, "seed-" + name), "wb") as f:
            f.write(data)
    print("wrote %d seeds to %s" % (len(seeds()), CORPUS))


if __name__ == "__main__":
    main()
