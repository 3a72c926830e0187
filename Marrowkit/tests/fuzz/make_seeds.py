#!/usr/bin/env python3
"""Writes the seed inputs of the Marrowkit fuzz targets into corpus/<target>/.

Valid lists and archives, and the shapes that once cost too much: ladders of
objects naming one another (small files expanding without bound), deep
nesting, counts the file cannot hold, dates far from 2001. Run from this
folder; files the fuzzer found are kept beside them under other names.
"""
import os
import plistlib
import struct

from plistlib import UID

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def binary(value):
    return plistlib.dumps(value, fmt=plistlib.FMT_BINARY, sort_keys=True)


def ladder(levels):
    # plistlib writes one object for a list it meets twice.
    value = [1]
    for _ in range(levels):
        value = [value, value]
    return value


def nested(levels):
    value = []
    for _ in range(levels):
        value = [value]
    return value


def claimed_count(count, table_bytes=64):
    """A list whose trailer claims `count` objects behind a table of zeros."""
    body = b"bplist00" + b"\x00" * 64
    table_offset = len(body)
    trailer = struct.pack(">6xBBQQQ", 1, 1, count, 0, table_offset)
    return body + b"\x00" * table_bytes + trailer


SAMPLE = {
    "CFBundleIdentifier": "com.example.App",
    "CFBundleName": "Grüße",
    "count": 42,
    "negative": -7,
    "ratio": 0.5,
    "flag": True,
    "blob": b"\x00\x01\xff",
    "list": ["a", 1, {}],
    "nested": {"inner": [True, False]},
}


def binary_seeds():
    write("binaryplist", "sample.plist", binary(SAMPLE))
    write("binaryplist", "ladder-12.plist", binary(ladder(12)))
    write("binaryplist", "ladder-40.plist", binary(ladder(40)))
    write("binaryplist", "nested-256.plist", binary(nested(256)))
    write("binaryplist", "nested-300.plist", binary(nested(300)))
    write("binaryplist", "claims-many-objects.plist", claimed_count(1 << 40))
    write("binaryplist", "claims-table-size.plist", claimed_count(64))
    write("binaryplist", "uid.plist", binary({"root": UID(7), "big": UID(1 << 40)}))
    # An array claiming 65535 entries with room for none.
    objects = b"\xaf\x11\xff\xff"
    trailer = struct.pack(">6xBBQQQ", 1, 1, 1, 0, 8 + len(objects))
    write("binaryplist", "huge-array-count.plist", b"bplist00" + objects + b"\x08" + trailer)


def xml_document(body):
    return (b'<?xml version="1.0" encoding="UTF-8"?>\n'
            b'<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
            b'"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
            b'<plist version="1.0">' + body + b"</plist>\n")


def xml_seeds():
    write("xmlplist", "sample.plist", plistlib.dumps(SAMPLE, fmt=plistlib.FMT_XML))
    write("xmlplist", "dates.plist", xml_document(
        b"<array><date>2100-01-01T00:00:00Z</date><date>1900-01-01T00:00:00Z</date>"
        b"<date>0001-01-01T00:00:00Z</date><date>9999-12-31T23:59:59Z</date></array>"))
    write("xmlplist", "nested-256.plist", xml_document(b"<array>" * 256 + b"</array>" * 256))
    write("xmlplist", "nested-deep.plist", xml_document(b"<array>" * 2000))
    write("xmlplist", "comments-cdata.plist", xml_document(
        b"<dict><!-- <array><array> --><key>a</key><string><![CDATA[<array>]]></string>"
        b'<key>b</key><array note="x>y"><true/><false/><integer>-3</integer>'
        b"<real>2.5</real><data>AAH/</data></array></dict>"))
    write("xmlplist", "uid.plist", xml_document(
        b"<dict><key>root</key><dict><key>CF$UID</key><integer>3</integer></dict></dict>"))
    write("xmlplist", "doctype-subset.plist",
          b'<?xml version="1.0"?><!DOCTYPE plist [ <!-- ]><plist>' + b"<array>" * 1000 + b"-->")


def archive(objects, root=1):
    return binary({
        "$archiver": "NSKeyedArchiver",
        "$version": 100000,
        "$top": {"root": UID(root)},
        "$objects": ["$null"] + objects,
    })


def record(name, *chain):
    return {"$classname": name, "$classes": [name, *chain]}


def device_list(apps_per_device, app_info):
    """A list of devices, each with its apps; `apps_per_device` lists, per
    device, indexes into the apps made here (one index twice shares one app)."""
    objects = [None]  # 1: the root list, filled in below
    def add(value):
        objects.append(value)
        return UID(len(objects))
    array = add(record("Array"))
    device_class = add(record("SimulatorDevice", "SimulatorItem"))
    app_class = add(record("SimulatorApp", "SimulatorItem"))
    dictionary = add(record("Dictionary"))

    def add_value(value):
        if isinstance(value, dict):
            fields = {"$class": dictionary}
            for key, item in value.items():
                fields[key] = add_value(item)
            return add(fields)
        return add(value)

    apps = []
    for i in range(max(max(a) for a in apps_per_device) + 1):
        apps.append(add({"$class": app_class, "uuid": add("APP-%d" % i),
                         "info": add_value(app_info(i))}))
    devices = []
    for d, indexes in enumerate(apps_per_device):
        app_list = add({"$class": array, "items": [apps[i] for i in indexes]})
        devices.append(add({"$class": device_class, "uuid": add("DEVICE-%d" % d),
                            "name": add("Device"), "displayName": add("Device (9.0)"),
                            "apps": app_list, "version": add("9.0"),
                            "type": add("iPhone 6"), "state": add(3)}))
    objects[0] = {"$class": array, "items": devices}
    return archive(objects)


def info(i, depth=1):
    value = {"CFBundleIdentifier": "com.example.app%d" % i, "CFBundleName": "App %d" % i}
    inner = value
    for _ in range(depth - 1):
        inner["inner"] = {}
        inner = inner["inner"]
    return value


def archive_seeds():
    write("keyedarchive", "text.archive", archive(["/just/a/path"]))
    write("keyedarchive", "dictionary.archive", archive([
        {"$class": UID(2), "name": UID(3), "$$dollar": UID(4)},
        record("Dictionary"), "App", 42]))
    write("keyedarchive", "devices.archive", device_list([[0, 1], [2]], info))
    write("keyedarchive", "app-listed-twice.archive", device_list([[0], [0]], info))
    write("keyedarchive", "info-at-limit.archive", device_list([[0]], lambda i: info(i, 90)))
    write("keyedarchive", "info-beyond-limit.archive", device_list([[0]], lambda i: info(i, 91)))
    for levels in (12, 40):
        objects = [record("Array")]
        for i in range(levels):
            nxt = UID(i + 3)
            objects.append({"$class": UID(1), "items": [nxt, nxt] if i + 1 < levels else []})
        write("keyedarchive", "ladder-%d.archive" % levels, archive(objects, 2))
    objects = [record("Array")]
    for i in range(105):
        objects.append({"$class": UID(1), "items": [UID(i + 3)] if i + 1 < 105 else []})
    write("keyedarchive", "nested-105.archive", archive(objects, 2))
    write("keyedarchive", "cycle.archive", archive([{"$class": UID(2), "items": [UID(1)]},
                                                    record("Array")]))


if __name__ == "__main__":
    binary_seeds()
    xml_seeds()
    archive_seeds()
