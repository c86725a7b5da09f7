"""The sample's help compiler (samples/notes/help/make_help.py): the files it writes are read back
the way the help viewer reads them (directory tree, |SYSTEM, the topic links in their blocks,
context strings through |CONTEXT), and bad sources are refused with a message."""

import os
import struct
import sys
import unittest

TOP = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(TOP, "samples", "notes", "help"))
import make_help  # noqa: E402

NONE = 0xFFFFFFFF


def read_long(b, o):  # the compressed signed long of a display record
    if b[o] & 1:
        return (struct.unpack_from("<I", b, o)[0] - 0x80000000) // 2, o + 4
    return (struct.unpack_from("<H", b, o)[0] - 0x8000) // 2, o + 2


def read_ushort(b, o):
    if b[o] & 1:
        return struct.unpack_from("<H", b, o)[0] // 2, o + 2
    return b[o] // 2, o + 1


def read_short(b, o):
    if b[o] & 1:
        return (struct.unpack_from("<H", b, o)[0] - 0x8000) // 2, o + 2
    return (b[o] - 0x80) // 2, o + 1


# The formatting commands the compiler writes, by their size: font, paragraph end, jump, hotspot
# end.
COMMAND_SIZE = {0x80: 3, 0x82: 1, 0xE3: 5, 0x89: 1}
# The context hashes that the jumps of the file being read name.
JUMPS = []


def commands(data1, o):
    """The commands of a display record, after its paragraph info (which starts at `o`)."""
    bits = struct.unpack_from("<H", data1, o + 4)[0]
    o += 6
    assert bits & ~0x0004 == 0, "paragraph flags"
    if bits & 0x0004:
        _, o = read_short(data1, o)
    found = []
    while data1[o] != 0xFF:
        assert data1[o] in COMMAND_SIZE, f"command {data1[o]:#x}"
        found.append(data1[o])
        if data1[o] == 0xE3:
            JUMPS.append(struct.unpack_from("<i", data1, o + 1)[0])
        o += COMMAND_SIZE[data1[o]]
    assert o == len(data1) - 1, "the commands end the record"
    return found


class Help:
    def __init__(self, data):
        magic, directory, _, size = struct.unpack_from("<IiiI", data, 0)
        assert magic == 0x00035F3F and size == len(data), "file header"
        self.data = data
        names = self.tree(self.internal(directory), self.name_entry)
        assert [n for n, _ in names] == sorted(n for n, _ in names), "directory out of order"
        self.files = {n: self.internal(o) for n, o in names}
        system = self.files["|SYSTEM"]
        assert struct.unpack_from("<HHH", system, 0) == (0x036C, 21, 1), "system header"
        kind, length = struct.unpack_from("<HH", system, 12)
        assert kind == 1, "the title comes first"
        self.title = system[16:16 + length].rstrip(b"\0").decode("cp1252")
        contexts = self.tree(self.files["|CONTEXT"], lambda b, o: (struct.unpack_from("<iI", b, o), o + 8))
        assert contexts == sorted(contexts), "the viewer stops at the first greater hash"
        self.contexts = dict(contexts)
        JUMPS.clear()
        self.pages = self.walk_topics(self.files["|TOPIC"])
        self.jumps = list(JUMPS)
        assert set(self.jumps) <= set(self.contexts), "a jump to a hash without a topic"

    def internal(self, offset):
        reserved, used, _ = struct.unpack_from("<IIB", self.data, offset)
        assert used + 9 <= reserved and offset + reserved <= len(self.data), "internal file size"
        return self.data[offset + 9:offset + 9 + used]

    @staticmethod
    def name_entry(b, o):
        end = b.index(b"\0", o)
        return (b[o:end].decode("ascii"), struct.unpack_from("<I", b, end + 1)[0]), end + 5

    @staticmethod
    def tree(buf, entry):
        magic, _, page_size = struct.unpack_from("<HHH", buf, 0)
        root, _, pages, levels, count = struct.unpack_from("<hhhhi", buf, 26)
        assert magic == 0x293B and levels == 1 and pages == 1, "one leaf page"
        page = buf[38 + root * page_size:38 + (root + 1) * page_size]
        free, n = struct.unpack_from("<Hh", page, 0)
        assert n == count and len(page) == page_size, "entry count"
        entries, o = [], 8
        for _ in range(n):
            value, o = entry(page, o)
            entries.append(value)
        assert free == page_size - o, "free space of the page"
        return entries

    @staticmethod
    def walk_topics(topic):
        """{topic offset: (title, text)} as the viewer counts offsets: per block, the characters
        of the display records before the topic."""
        pages, ref, previous, block, chars, current = {}, 0x0C, NONE, None, 0, None
        while ref != NONE:
            index, at = (ref - 12) >> 14, (ref - 12) & 0x3FFF
            data = topic[index * 0x1000 + 12:(index + 1) * 0x1000]
            if index != block:
                block, chars = index, 0
            size, len2, prev, nxt, len1, kind = struct.unpack_from("<IIIIIB", data, at)
            assert at + size <= len(data), "a link crosses its block's end"
            assert prev == previous and size == len1 + len2, "link header"
            data1, data2 = data[at + 21:at + len1], data[at + len1:at + size]
            if kind == 0x02:
                current = [data2.decode("cp1252"), ""]
                pages[index * 0x8000 + chars] = current
            else:
                assert kind == 0x20 and current is not None, "record kind"
                _, o = read_long(data1, 0)
                length, o = read_ushort(data1, o)
                text = data2.split(b"\0")[:-1]
                # The characters counted: the texts and the paragraph ends.
                found = commands(data1, o)
                assert len(text) == len(found), "a text before each command"
                assert length == sum(map(len, text)) + found.count(0x82), "paragraph length"
                chars += length
                current[1] += " ".join(t.decode("cp1252") for t in text if t) + "\n"
            previous, ref = ref, nxt
        return pages

    def topic(self, context):
        return self.pages[self.contexts[make_help.context_hash(context)]]


def compile_source(text):
    return Help(make_help.help_file(*make_help.parse_source(text)))


class SampleHelp(unittest.TestCase):
    def test_every_entry_of_the_contents_opens_its_topic(self):
        with open(os.path.join(TOP, "samples", "notes", "help", "LakeNotes.txt"), encoding="utf-8") as f:
            help_file = compile_source(f.read())
        self.assertEqual(help_file.title, "Lakeside Notes Help")
        with open(os.path.join(TOP, "samples", "notes", "files", "LakeNotes.cnt"), encoding="cp1252") as f:
            entries = [line.split(" ", 1)[1].strip().split("=") for line in f if "=" in line]
        self.assertEqual(len(entries), 4)
        for label, context in entries:
            title, text = help_file.topic(context)
            self.assertEqual(title, label)
            self.assertGreater(len(text), 100, context)
        self.assertIn("notes.txt", help_file.topic("note_store")[1])
        self.assertEqual(len(help_file.jumps), 4)

    def test_topics_beyond_the_first_block(self):
        source = "Title: Many\n"
        for i in range(12):
            source += f"\n= topic_{i} Topic {i}\n" + f"Text of topic {i}. " * 25 + "\n\n{Back|topic_0}\n"
        help_file = compile_source(source)
        self.assertGreater(len(help_file.files["|TOPIC"]), 0x1000)
        self.assertGreater(max(help_file.contexts.values()), 0x8000)
        for i in range(12):
            title, text = help_file.topic(f"TOPIC_{i}")
            self.assertEqual(title, f"Topic {i}")
            self.assertTrue(text.startswith(f"Topic {i}\nText of topic {i}."), text[:40])

    def test_compressed_numbers_at_their_bounds(self):
        for value in (0, 1, -1, 0x3FFF, 0x4000, -0x4000, -0x4001, 100000):
            self.assertEqual(read_long(make_help.compressed_long(value), 0)[0], value)
        for value in (0, 0x7F, 0x80, 0x7FFF):
            self.assertEqual(read_ushort(make_help.compressed_ushort(value), 0)[0], value)
        for value in (0, 0x3F, 0x40, -0x40, -0x41, 1000):
            self.assertEqual(read_short(make_help.compressed_short(value), 0)[0], value)

    def test_bad_sources_are_refused_by_name(self):
        cases = {
            "Title: T\n= a A\n{x|b}\n": "jump to b",
            "Title: T\n= a A\nCaf\u00e9 \u6771\n": "'\u6771'",
            "Title: T\n= a A\n= A B\n": "the context A is there twice",
            "Title: T\n= a-b A\n": "'a-b'",
            "Title: T\ntext\n= a A\n": "line 2",
            "= a A\ntext\n": "no title",
        }
        for source, message in cases.items():
            with self.assertRaises(make_help.HelpError, msg=source) as caught:
                make_help.help_file(*make_help.parse_source(source))
            self.assertIn(message, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
