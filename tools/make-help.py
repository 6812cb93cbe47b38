#!/usr/bin/env python3
"""Writes the context help from resources/help/topics.txt: the help file
KALDUR.HLP, or with --rc the program's own copy of the topics.

    make-help.py [topics.txt [KALDUR.HLP]]
    make-help.py --rc topics.txt help_topics.rc

The help file is a WinHelp 4 file, uncompressed, with one topic per control
id: a bold title and the text's paragraphs. The program asks for a topic by
its control id, so every topic is listed in the number map (|CTXOMAP); it is
also named IDH_<id> in |CONTEXT, which the viewers require. Everything fits in
one 4 KB topic block. Integers are little-endian; text is Windows-1252.

The resource script holds a STRINGTABLE for the program's help pop-up: the
topic of control id N as string N (its paragraphs separated by an empty line)
and its title as string N + IDS_HELP_TITLE_OFFSET (resources/strings.h).
"""
import os
import re
import struct
import sys

BLOCK = 4096  # a topic block: 12-byte header, then 4084 bytes of records
TITLE = "Location String Modification Utility"


def read_topics(path):
    """[(id, title, [paragraph, ...])] in file order: "[id] Title", then text."""
    topics = []
    with open(path, encoding="cp1252") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip()
            if line.startswith("#"):
                continue
            head = re.fullmatch(r"\[(\d+)\]\s*(.+)", line)
            if head:
                topics.append((int(head.group(1)), head.group(2), [""]))
            elif not topics:
                if line:
                    sys.exit(f"{path}:{number}: text before the first topic")
            elif not line:
                if topics[-1][2][-1]:
                    topics[-1][2].append("")
            else:
                paragraphs = topics[-1][2]
                paragraphs[-1] = (paragraphs[-1] + " " + line.strip()).strip()
    for number, title, paragraphs in topics:
        if not paragraphs[-1]:
            paragraphs.pop()
        if not paragraphs:
            sys.exit(f"{path}: topic {number} has no text")
    return topics


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def cushort(v):
    return bytes([2 * v]) if v < 128 else u16(2 * v + 1)


def cslong(v):
    return u16(2 * v + 0x8000) if -16384 <= v < 16384 else u32(2 * v + 0x80000001)


def context_hash(name):
    """The hash that |CONTEXT is keyed by, on letters, digits, '.' and '_'."""
    h = 0
    for c in name.upper():
        if "A" <= c <= "Z":
            code = ord(c) - ord("A") + 17
        elif "1" <= c <= "9":
            code = ord(c) - ord("0")
        else:
            code = {"0": 10, ".": 12, "_": 13}[c]
        h = (h * 43 + code) & 0xFFFFFFFF
    return h


def internal_file(data):
    """An internal file: reserved size (with this header), used size, flags."""
    return u32(len(data) + 9) + u32(len(data)) + b"\x04" + data


def btree(entries, layout, directory=False):
    """A B+ tree of one leaf page, which is also its root; entries sorted."""
    page_size = 0x400 if directory else 0x800
    body = b"".join(entries)
    if 8 + len(body) > page_size:
        sys.exit(f"too many entries for one {layout} page")
    page = u16(page_size - 8 - len(body)) + u16(len(entries)) + u16(0xFFFF) + u16(0xFFFF) + body
    header = (u16(0x293B) + u16(0x0402 if directory else 0x0002) + u16(page_size)
              + layout.encode().ljust(16, b"\0") + u16(0) + u16(0) + u16(0) + u16(0xFFFF)
              + u16(1) + u16(1) + u32(len(entries)))
    return header + page.ljust(page_size, b"\0")


def text_record_data(title, paragraphs):
    """LinkData1 and LinkData2 of a text record: the title in bold, then the text."""
    strings = [b"", title.encode("cp1252"), b""]
    commands = b"\x80" + u16(1) + b"\x82" + b"\x80" + u16(0)  # font 1, end, font 0
    for paragraph in paragraphs:
        strings.append(paragraph.encode("cp1252"))
        commands += b"\x82"
    strings.append(b"")
    commands += b"\xff"
    data2 = b"".join(s + b"\0" for s in strings)
    # Paragraph info: fixed bytes 00 80, id 0, no paragraph bits.
    rest = b"\x00\x80" + u16(0) + u16(0) + commands
    return cslong(len(rest)) + cushort(len(data2)) + rest, data2


def topic_file(topics):
    """|TOPIC, and each topic's TOPICOFFSET, in the order of `topics`."""
    # Records as [type, LinkData1, LinkData2]; topic headers get their
    # LinkData1 once every position is known. A closing header ends the list.
    records = []
    for _, title, paragraphs in topics:
        records.append([2, None, title.encode("cp1252")])
        records.append([0x20, *text_record_data(title, paragraphs)])
    records.append([2, None, b""])

    positions, offsets = [], []  # TOPICPOS of every record, TOPICOFFSET of headers
    pos, offset = 12, 0
    for kind, data1, data2 in records:
        positions.append(pos)
        pos += 21 + (28 if kind == 2 else len(data1)) + len(data2)
        if kind == 2:
            offsets.append(offset)
        else:
            offset += len(data2)  # its TopicLength
    if pos > BLOCK:
        sys.exit("the topics do not fit in one 4 KB block")

    headers = [i for i, r in enumerate(records) if r[0] == 2]
    for n, i in enumerate(headers):
        last = n == len(headers) - 1
        text_size = 0 if last else 21 + len(records[i + 1][1]) + len(records[i + 1][2])
        records[i][1] = (u32(text_size) + u32(0xFFFFFFFF) + u32(0xFFFFFFFF) + u32(n)
                         + u32(0xFFFFFFFF)
                         + u32(0xFFFFFFFF if last else positions[i + 1])
                         + u32(0xFFFFFFFF if last else positions[headers[n + 1]]))

    block = u32(0xFFFFFFFF) + u32(12) + u32(0)
    for i, (kind, data1, data2) in enumerate(records):
        previous = positions[i - 1] if i > 0 else 0xFFFFFFFF
        following = positions[i + 1] if i + 1 < len(records) else 0xFFFFFFFF
        block += (u32(21 + len(data1) + len(data2)) + u32(len(data2)) + u32(previous)
                  + u32(following) + u32(21 + len(data1)) + bytes([kind]) + data1 + data2)
    return block.ljust(BLOCK, b"\0"), offsets[:-1]


def help_file(topics):
    topic, offsets = topic_file(topics)
    by_id = sorted(zip((t[0] for t in topics), offsets))
    by_hash = sorted(((context_hash(f"IDH_{n}"), o) for n, o in by_id),
                     key=lambda e: struct.unpack("<i", u32(e[0]))[0])
    system = (u16(0x036C) + u16(33) + u16(1) + u32(0) + u16(0)
              + u16(1) + u16(len(TITLE) + 1) + TITLE.encode() + b"\0"  # title
              + u16(3) + u16(4) + u32(offsets[0]))  # contents: the first topic
    # One face, Arial; font 0 is 10 pt, font 1 10 pt bold, both black.
    font = (u16(1) + u16(2) + u16(8) + u16(8 + 32) + b"Arial".ljust(32, b"\0")
            + bytes([0, 20, 3]) + u16(0) + bytes(6) + bytes([1, 20, 3]) + u16(0) + bytes(6))
    files = {
        "|CONTEXT": btree([u32(h) + u32(o) for h, o in by_hash], "L4"),
        "|CTXOMAP": u16(len(by_id)) + b"".join(u32(n) + u32(o) for n, o in by_id),
        "|FONT": font,
        "|SYSTEM": system,
        "|TOPIC": topic,
        "|TTLBTREE": btree([u32(o) + t[1].encode("cp1252") + b"\0"
                            for t, o in zip(topics, offsets)], "Lz"),
    }
    body, directory = b"", []
    for name in sorted(files):
        directory.append(name.encode() + b"\0" + u32(16 + len(body)))
        body += internal_file(files[name])
    directory_offset = 16 + len(body)
    body += internal_file(btree(directory, "z4", directory=True))
    return u32(0x00035F3F) + u32(directory_offset) + u32(0xFFFFFFFF) + u32(16 + len(body)) + body


def rc_string(text):
    """A resource-script string literal of a Windows-1252 text."""
    out = '"'
    for byte in text.encode("cp1252"):
        c = chr(byte)
        if c == '"':
            out += '""'
        elif c == "\\":
            out += "\\\\"
        elif c == "\n":
            out += "\\n"
        elif 0x20 <= byte < 0x7F:
            out += c
        else:
            out += f"\\{byte:03o}"
    return out + '"'


def help_strings(topics):
    """The STRINGTABLE of the program's help pop-up (see the top)."""
    lines = ["// Written by tools/make-help.py from resources/help/topics.txt; edit that file.",
             "STRINGTABLE", "BEGIN"]
    for number, title, paragraphs in topics:
        text = "\n\n".join(paragraphs)
        lines.append(f"    {number} {rc_string(text)}")
        lines.append(f"    {number} + IDS_HELP_TITLE_OFFSET {rc_string(title)}")
    lines.append("END")
    return "\n".join(lines) + "\n"


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    args = sys.argv[1:]
    resource_script = args[:1] == ["--rc"]
    if resource_script:
        args = args[1:]
    source = args[0] if args else os.path.join(root, "resources", "help", "topics.txt")
    target = args[1] if len(args) > 1 else "help_topics.rc" if resource_script else "KALDUR.HLP"
    topics = read_topics(source)
    numbers = [t[0] for t in topics]
    if len(set(numbers)) != len(numbers):
        sys.exit(f"{source}: a control id has two topics")
    if resource_script:
        with open(target, "w", encoding="ascii", newline="\n") as out:
            out.write(help_strings(topics))
        return
    with open(target, "wb") as out:
        out.write(help_file(topics))


if __name__ == "__main__":
    main()
