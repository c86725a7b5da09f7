#!/usr/bin/env python3
"""Compiles the help source of Lakeside Notes (LakeNotes.txt) into a WinHelp 3.1 file.

    make_help.py SOURCE OUTPUT

The file is the plain, uncompressed kind: no phrase table, no LZ77, one font table, a topic file
of 4 KB blocks and the B+ trees that the viewer searches (the internal directory and the context
strings). Every field is written explicitly, little-endian.
"""

import struct
import sys

MAGIC = 0x00035F3F
BTREE_MAGIC = 0x293B
SYSTEM_MAGIC = 0x036C
# Version 1.21: the 3.1 format (1.15 would be the 3.0 one).
SYSTEM_MINOR = 21
TOPIC_BLOCK = 0x1000
BLOCK_HEADER = 12
# A topic position is block * 0x4000 + the offset of the link within the block (its header
# included); a topic offset is block * 0x8000 + the characters of the block before the topic.
POS_BLOCK_SHIFT = 14
OFFSET_BLOCK = 0x8000

RECORD_TOPIC_HEADER = 0x02
RECORD_DISPLAY = 0x20

# Formatting commands of a display record's text.
CMD_FONT = 0x80
CMD_PARAGRAPH_END = 0x82
CMD_JUMP = 0xE3
CMD_HOTSPOT_END = 0x89
CMD_END = 0xFF

# Paragraph flags: a space below the paragraph follows.
PARA_SPACE_BELOW = 0x0004

FONT_BODY = 0
FONT_HEADING = 1
NONE = 0xFFFFFFFF


class HelpError(Exception):
    pass


def context_hash(name):
    """The viewer's hash of a context string (the key of |CONTEXT): base 43, 32 bits, signed."""
    value = 0
    for c in name:
        if "A" <= c <= "Z":
            digit = ord(c) - ord("A") + 17
        elif "a" <= c <= "z":
            digit = ord(c) - ord("a") + 17
        elif "1" <= c <= "9":
            digit = ord(c) - ord("0")
        elif c == "0":
            digit = 10
        elif c == ".":
            digit = 12
        elif c == "_":
            digit = 13
        else:
            raise HelpError(f"context string {name!r}: only letters, digits, '.' and '_' are allowed")
        value = (value * 43 + digit) & 0xFFFFFFFF
    return value - (1 << 32) if value & 0x80000000 else value


def compressed_long(value):
    """A signed long in 2 bytes (low bit clear) or 4 bytes (low bit set), biased."""
    if -0x4000 <= value < 0x4000:
        return struct.pack("<H", 0x8000 + value * 2)
    return struct.pack("<I", (0x80000000 + value * 2 + 1) & 0xFFFFFFFF)


def compressed_ushort(value):
    """An unsigned short in 1 byte (low bit clear) or 2 bytes (low bit set)."""
    if value < 0x80:
        return bytes([value * 2])
    if value < 0x8000:
        return struct.pack("<H", value * 2 + 1)
    raise HelpError(f"a paragraph of {value} characters is too long")


def compressed_short(value):
    """A signed short in 1 byte (low bit clear) or 2 bytes (low bit set), biased."""
    if -0x40 <= value < 0x40:
        return bytes([0x80 + value * 2])
    return struct.pack("<H", 0x8000 + value * 2 + 1)


def ansi(text, where):
    try:
        return text.encode("cp1252")
    except UnicodeEncodeError as e:
        raise HelpError(f"{where}: {text[e.start:e.end]!r} is not in the Windows-1252 code page")


# --- The source -------------------------------------------------------------------------------


def parse_source(text):
    """Returns (title, [(context, title, [paragraph, ...]), ...]); a paragraph is a list of
    (text, jump context or None)."""
    title = None
    topics = []
    paragraph_lines = []  # [(line number, text)]

    def end_paragraph():
        if not paragraph_lines:
            return
        first = paragraph_lines[0][0]
        if not topics:
            raise HelpError(f"line {first}: text before the first topic")
        topics[-1][2].append(parse_jumps(" ".join(t for _, t in paragraph_lines), first))
        paragraph_lines.clear()

    for line_no, line in enumerate(text.splitlines(), 1):
        if line.startswith("#"):
            continue
        if line.startswith("Title:") and not topics:
            title = line[len("Title:"):].strip()
        elif line.startswith("= "):
            end_paragraph()
            parts = line[2:].strip().split(None, 1)
            if len(parts) != 2:
                raise HelpError(f"line {line_no}: a topic needs a context and a title")
            context_hash(parts[0])
            if any(t[0].lower() == parts[0].lower() for t in topics):
                raise HelpError(f"line {line_no}: the context {parts[0]} is there twice")
            topics.append((parts[0], parts[1], []))
        elif not line.strip():
            end_paragraph()
        else:
            paragraph_lines.append((line_no, line.strip()))
    end_paragraph()
    if not title:
        raise HelpError("the source names no title (a line 'Title: ...')")
    if not topics:
        raise HelpError("the source has no topic")
    known = {t[0].lower() for t in topics}
    for context, _, paragraphs in topics:
        for paragraph in paragraphs:
            for _, jump in paragraph:
                if jump is not None and jump.lower() not in known:
                    raise HelpError(f"topic {context}: the jump to {jump} has no topic")
    return title, topics


def parse_jumps(text, line_no):
    parts = []
    while "{" in text:
        before, rest = text.split("{", 1)
        if "}" not in rest or "|" not in rest.split("}", 1)[0]:
            raise HelpError(f"line {line_no}: a jump is written {{text|context}}")
        jump, text = rest.split("}", 1)
        label, context = jump.rsplit("|", 1)
        if before:
            parts.append((before, None))
        parts.append((label, context.strip()))
    if text:
        parts.append((text, None))
    return parts


# --- Topic file ---------------------------------------------------------------------------------


def display_record(pieces, space_below):
    """A display record of one paragraph: (its formatting part, its text part, its characters).
    `pieces` is a list of (text, command bytes): each text is followed by its command."""
    texts = b"".join(text + b"\0" for text, _ in pieces)
    commands = b"".join(command for _, command in pieces) + bytes([CMD_END])
    # The characters a topic offset counts: the text, and one for each paragraph end.
    characters = sum(len(text) for text, _ in pieces)
    characters += sum(1 for _, command in pieces if command[:1] == bytes([CMD_PARAGRAPH_END]))
    paragraph = bytes([0x00, 0x80]) + struct.pack("<HH", 0, PARA_SPACE_BELOW)
    paragraph += compressed_short(space_below)
    data1 = compressed_long(len(texts)) + compressed_ushort(characters) + paragraph + commands
    return data1, texts, characters


def heading_record(title):
    font = bytes([CMD_FONT]) + struct.pack("<H", FONT_HEADING)
    pieces = [(b"", font), (title, bytes([CMD_PARAGRAPH_END]))]
    return display_record(pieces, 12)


def body_record(paragraph, hashes, where):
    pieces = [(b"", bytes([CMD_FONT]) + struct.pack("<H", FONT_BODY))]
    for text, jump in paragraph:
        encoded = ansi(text, where)
        if jump is None:
            pieces.append((encoded, b""))
        else:
            # The hotspot's text comes between the jump and its end.
            pieces.append((b"", bytes([CMD_JUMP]) + struct.pack("<i", hashes[jump.lower()])))
            pieces.append((encoded, bytes([CMD_HOTSPOT_END])))
    # Plain texts follow each other: their command is empty, so join them into the next one.
    merged = []
    for text, command in pieces:
        if merged and not merged[-1][1]:
            merged[-1] = (merged[-1][0] + text, command)
        else:
            merged.append((text, command))
    if merged and not merged[-1][1]:
        merged[-1] = (merged[-1][0], bytes([CMD_PARAGRAPH_END]))
    else:
        merged.append((b"", bytes([CMD_PARAGRAPH_END])))
    return display_record(merged, 10)


def build_topic_file(topics):
    """Returns (|TOPIC data, {context: topic offset})."""
    hashes = {context.lower(): context_hash(context) for context, _, _ in topics}
    # The links of every topic: a header, then its paragraphs.
    plan = []
    for context, title, paragraphs in topics:
        encoded_title = ansi(title, f"topic {context}")
        records = [heading_record(encoded_title)]
        records += [body_record(p, hashes, f"topic {context}") for p in paragraphs]
        plan.append((context, encoded_title, records))

    # Lay the links out in blocks, a link never crossing a block's end.
    links = []  # [kind, data1, data2, characters, topic index, position, offset]
    for index, (_, title, records) in enumerate(plan):
        links.append([RECORD_TOPIC_HEADER, None, title, 0, index])
        for data1, data2, characters in records:
            links.append([RECORD_DISPLAY, data1, data2, characters, index])
    block, used, characters = 0, 0, 0
    header_size = 21 + 28
    for link in links:
        size = (header_size if link[0] == RECORD_TOPIC_HEADER else 21 + len(link[1])) + len(link[2])
        if size > TOPIC_BLOCK - BLOCK_HEADER:
            raise HelpError("a paragraph is longer than a topic block")
        if used + size > TOPIC_BLOCK - BLOCK_HEADER:
            block, used, characters = block + 1, 0, 0
        link.append((block << POS_BLOCK_SHIFT) + BLOCK_HEADER + used)
        link.append(block * OFFSET_BLOCK + characters)
        link.append(size)
        used += size
        characters += link[3]

    topic_links = [link for link in links if link[0] == RECORD_TOPIC_HEADER]
    offsets = {plan[link[4]][0]: link[6] for link in topic_links}
    blocks = [bytearray() for _ in range(block + 1)]
    for i, link in enumerate(links):
        kind, data1, data2, _, index, position, _, size = link
        previous = links[i - 1][5] if i else NONE
        following = links[i + 1][5] if i + 1 < len(links) else NONE
        if kind == RECORD_TOPIC_HEADER:
            mine = [l for l in links if l[4] == index]
            later = [l for l in topic_links if l[4] > index]
            data1 = struct.pack(
                "<IIIIIII",
                sum(l[7] for l in mine),  # the topic's links together
                NONE,  # no browse sequence
                NONE,
                index,
                NONE,  # no non-scrolling region
                mine[1][5] if len(mine) > 1 else NONE,
                later[0][5] if later else NONE,
            )
        blocks[position >> POS_BLOCK_SHIFT] += struct.pack(
            "<IIIIIB", size, len(data2), previous, following, 21 + len(data1), kind
        ) + data1 + data2

    out = bytearray()
    for number, data in enumerate(blocks):
        in_block = [l for l in links if l[5] >> POS_BLOCK_SHIFT == number]
        before = [l for l in links if l[5] >> POS_BLOCK_SHIFT < number]
        last_header = [l for l in before if l[0] == RECORD_TOPIC_HEADER]
        out += struct.pack(
            "<III",
            before[-1][5] if before else NONE,
            in_block[0][5],
            last_header[-1][5] if last_header else NONE,
        )
        out += data + bytes(TOPIC_BLOCK - BLOCK_HEADER - len(data))
    return bytes(out), offsets


# --- The other internal files -------------------------------------------------------------------


def system_file(title):
    out = struct.pack("<HHHIH", SYSTEM_MAGIC, SYSTEM_MINOR, 1, 0, 0)  # no date, not compressed
    text = ansi(title, "the title") + b"\0"
    out += struct.pack("<HH", 1, len(text)) + text
    out += struct.pack("<HHI", 3, 4, 0)  # the contents topic: the first one
    return out


def font_file():
    faces = [b"Arial"]
    face_size = 20
    # Attributes (1 bold), size in half points, family (3 swiss), face, colour, background.
    fonts = [(0x00, 20), (0x01, 28)]
    face_offset = 8
    descriptor_offset = face_offset + face_size * len(faces)
    out = struct.pack("<HHHH", len(faces), len(fonts), face_offset, descriptor_offset)
    for face in faces:
        out += face + bytes(face_size - len(face))
    for attributes, half_points in fonts:
        out += bytes([attributes, half_points, 3]) + struct.pack("<H", 0)
        out += bytes([0, 0, 0]) + bytes([0xFF, 0xFF, 0xFF])
    return out


def btree(structure, flags, page_size, entries):
    """A B+ tree of one leaf page; `entries` are the leaf entries, in key order."""
    body = b"".join(entries)
    if 8 + len(body) > page_size:
        raise HelpError(f"the {structure} tree does not fit one page")
    header = struct.pack("<HHH", BTREE_MAGIC, flags, page_size)
    header += structure.encode("ascii").ljust(16, b"\0")
    # Must be zero, page splits, root page, must be -1, pages, levels, entries.
    header += struct.pack("<hhhhhhi", 0, 0, 0, -1, 1, 1, len(entries))
    page = struct.pack("<Hhhh", page_size - 8 - len(body), len(entries), -1, -1) + body
    return header + page + bytes(page_size - len(page))


def context_file(topics, offsets):
    keyed = sorted((context_hash(c), offsets[c]) for c, _, _ in topics)
    for (a, _), (b, _) in zip(keyed, keyed[1:]):
        if a == b:
            raise HelpError("two context strings have the same hash")
    return btree("L4", 0x0002, 0x0800, [struct.pack("<iI", h, o) for h, o in keyed])


def internal_file(data):
    # Reserved space, used space, flags.
    return struct.pack("<IIB", len(data) + 9, len(data), 4) + data


def help_file(title, topics):
    topic_data, offsets = build_topic_file(topics)
    files = {
        "|CONTEXT": context_file(topics, offsets),
        "|FONT": font_file(),
        "|SYSTEM": system_file(title),
        "|TOPIC": topic_data,
    }
    out = bytearray(16)
    entries = []
    # The directory is searched by byte order of the names.
    for name in sorted(files, key=lambda n: n.encode("ascii")):
        entries.append(name.encode("ascii") + b"\0" + struct.pack("<I", len(out)))
        out += internal_file(files[name])
    directory = len(out)
    out += internal_file(btree("z4", 0x0402, 0x0400, entries))
    out[0:16] = struct.pack("<IiiI", MAGIC, directory, -1, len(out))
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        print("usage: make_help.py SOURCE OUTPUT", file=sys.stderr)
        return 2
    try:
        with open(argv[1], encoding="utf-8") as f:
            title, topics = parse_source(f.read())
        data = help_file(title, topics)
    except (OSError, HelpError) as e:
        print(f"make_help.py: {argv[1]}: {e}", file=sys.stderr)
        return 1
    with open(argv[2], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
