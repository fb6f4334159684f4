#!/usr/bin/env python3
"""Writes the bad-input corpus: damaged copies of the test movies and a few odd files.

    make_corpus.py --media MEDIA_DIR --out CORPUS_DIR [--seed N]

Everything is derived from sample.mp4, sample.mov, video-only.mp4 and audio-only.mp4 with a
fixed seed, so the same media always give the same corpus. CORPUS_DIR/corpus.tsv lists every
entry (relative name, kind, detail), one a line.
"""

import argparse
import random
import shutil
import struct
import sys
from pathlib import Path

SOURCES = ["sample.mp4", "sample.mov", "video-only.mp4", "audio-only.mp4"]
CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl", b"edts", b"dinf"}
TARGETS = [b"moov", b"trak", b"mdia", b"stbl", b"stsz", b"stco"]
# A box renamed to another box's type, so that a parser finds the wrong contents.
SWAPPED = {b"moov": b"trak", b"trak": b"mdia", b"mdia": b"stbl", b"stbl": b"stsz",
           b"stsz": b"stco", b"stco": b"stsz"}
SIZE_FAULTS = ["too-big", "huge", "too-small", "below-header", "zero",
               "size1-huge", "size1-tiny", "size1-overlay"]
TYPE_FAULTS = ["type-free", "type-zero", "type-swap"]


class Box:
    def __init__(self, offset, size, kind, parents):
        self.offset = offset
        self.size = size
        self.kind = kind
        self.parents = parents  # enclosing boxes, outermost first

    @property
    def end(self):
        return self.offset + self.size

    def label(self):
        return printable(self.kind)


def walk(data, start, end, parents, found):
    offset = start
    while offset + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, offset)
        header = 8
        if size == 1:
            size = struct.unpack_from(">Q", data, offset + 8)[0]
            header = 16
        elif size == 0:
            size = end - offset
        if size < header or offset + size > end:
            break
        box = Box(offset, size, kind, parents)
        found.append(box)
        if kind in CONTAINERS:
            walk(data, offset + header, offset + size, parents + [box], found)
        offset += size
    return found


def box_tree(data):
    return walk(data, 0, len(data), [], [])


def with_size_fault(data, box, fault):
    out = bytearray(data)
    at = box.offset
    if fault == "too-big":
        struct.pack_into(">I", out, at, box.size + 4096)
    elif fault == "huge":
        struct.pack_into(">I", out, at, 0xFFFFFFF0)
    elif fault == "too-small":
        struct.pack_into(">I", out, at, max(box.size // 2, 9))
    elif fault == "below-header":
        struct.pack_into(">I", out, at, 7)
    elif fault == "zero":
        struct.pack_into(">I", out, at, 0)
    elif fault == "size1-overlay":
        # The first bytes of the contents are taken for the 64-bit size.
        struct.pack_into(">I", out, at, 1)
    else:
        # A real 64-bit size field is inserted; the enclosing boxes grow with it, so that
        # the bogus value is the only fault.
        large = 0x7FFFFFFFFFFFFFFF if fault == "size1-huge" else 9
        struct.pack_into(">I", out, at, 1)
        out[at + 8:at + 8] = struct.pack(">Q", large)
        for parent in box.parents:
            struct.pack_into(">I", out, parent.offset, parent.size + 8)
    return bytes(out)


def printable(kind):
    return kind.decode("latin-1") if kind.isalnum() else "0x" + kind.hex()


def new_type(box, fault):
    return {"type-free": b"free", "type-zero": b"\0\0\0\0", "type-swap": SWAPPED[box.kind]}[fault]


def with_type_fault(data, box, fault):
    out = bytearray(data)
    out[box.offset + 4:box.offset + 8] = new_type(box, fault)
    return bytes(out)


def size_detail(box, fault, data):
    if fault.startswith("size1-"):
        if fault == "size1-overlay":
            large = struct.unpack_from(">Q", data, box.offset + 8)[0]
            return f"size 1, 64-bit size read from the contents: {large}"
        return f"size 1, inserted 64-bit size {0x7FFFFFFFFFFFFFFF if fault == 'size1-huge' else 9}"
    new = {"too-big": box.size + 4096, "huge": 0xFFFFFFF0, "too-small": max(box.size // 2, 9),
           "below-header": 7, "zero": 0}[fault]
    return f"size {box.size} -> {new}"


class Corpus:
    def __init__(self, out):
        self.out = out
        self.rows = []

    def write(self, name, kind, detail, data):
        path = self.out / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        self.rows.append((name, kind, detail))

    def folder(self, name, kind, detail):
        (self.out / name).mkdir(parents=True)
        self.rows.append((name, kind, detail))

    def manifest(self):
        lines = ["name\tkind\tdetail"] + ["\t".join(row) for row in self.rows]
        (self.out / "corpus.tsv").write_text("\n".join(lines) + "\n", encoding="utf-8")


def stem_of(source):
    return source.replace(".", "-")


def extension_of(source):
    return source[source.rindex("."):]


def target_boxes(boxes):
    """The listed boxes, numbered per type in file order (trak1, trak2, ...)."""
    seen = {}
    numbered = []
    for box in boxes:
        if box.kind in TARGETS:
            seen[box.kind] = seen.get(box.kind, 0) + 1
            numbered.append((f"{box.label()}{seen[box.kind]}", box))
    return numbered


def add_box_faults(corpus, rng, source, data, first, later):
    """Each box of the first track (and moov) gets `first` of the eleven faults, each box of a
    later track `later`: all of them, or a seeded choice."""
    faults = SIZE_FAULTS + TYPE_FAULTS
    for label, box in target_boxes(box_tree(data)):
        count = first if label.endswith("1") else later
        chosen = faults if count >= len(faults) else sorted(rng.sample(faults, count), key=faults.index)
        for fault in chosen:
            name = f"{stem_of(source)}_{label}_{fault}{extension_of(source)}"
            where = f"{label}@{box.offset}"
            if fault in SIZE_FAULTS:
                corpus.write(name, "box-size", f"{where} {size_detail(box, fault, data)}",
                             with_size_fault(data, box, fault))
            else:
                corpus.write(name, "box-type", f"{where} type {box.label()} -> {printable(new_type(box, fault))}",
                             with_type_fault(data, box, fault))


def cut_points(data, rng, spread):
    """Where the movie data starts, is half-way and is one byte short, and a seeded choice of
    box boundaries (mid-header, header only, half-way, one byte short) along the first track."""
    boxes = box_tree(data)
    moov = next(box for box in boxes if box.kind == b"moov")
    mdat = next(box for box in boxes if box.kind == b"mdat")
    fixed = {moov.end - 1, mdat.offset + 8, mdat.offset + mdat.size // 2, mdat.end - 1}
    boundaries = {4, 16}
    for label, box in target_boxes(boxes):
        if label.endswith("1"):
            boundaries.update({box.offset + 4, box.offset + 8, box.offset + box.size // 2, box.end - 1})
    boundaries = sorted(boundaries - fixed)
    return sorted(fixed | set(rng.sample(boundaries, min(spread, len(boundaries)))))


def add_cuts(corpus, rng, source, data, spread):
    for point in cut_points(data, rng, spread):
        name = f"{stem_of(source)}_cut-{point:05d}{extension_of(source)}"
        corpus.write(name, "truncated", f"first {point} of {len(data)} bytes", data[:point])


def add_flips(corpus, rng, source, data, plan):
    """plan: (region, flips, copies); region 'moov' keeps the damage inside the movie header."""
    moov = next(box for box in box_tree(data) if box.kind == b"moov")
    for region, flips, copies in plan:
        lo, hi = (moov.offset, moov.end) if region == "moov" else (0, len(data))
        for copy in range(copies):
            out = bytearray(data)
            for offset in rng.sample(range(lo, hi), min(flips, hi - lo)):
                out[offset] ^= rng.randrange(1, 256)
            name = f"{stem_of(source)}_flip-{region}-{flips:04d}-{'abc'[copy]}{extension_of(source)}"
            corpus.write(name, "flip", f"{flips} random bytes changed in {region} (bytes {lo}..{hi - 1})",
                         bytes(out))


def add_odd_files(corpus, sample):
    corpus.write("empty.mp4", "empty", "zero bytes", b"")
    corpus.write("text.mp4", "text", "plain text named like a movie",
                 b"This is a text file, not a movie.\r\nIt has a second line.\r\n")
    corpus.folder("folder.mp4", "folder", "a folder named like a movie")
    corpus.write("\u0444\u0438\u043b\u044c\u043c \u2013 \u6620\u753b.mp4", "name",
                 "copy of sample.mp4 under a Cyrillic and CJK name", sample)
    parts = ["long"] + [f"a-folder-with-a-rather-long-name-to-pass-the-old-path-limit-{i}" for i in range(1, 5)]
    name = "/".join(parts + ["movie with a long path.mp4"])
    corpus.write(name, "long-path", f"copy of sample.mp4, {len(name)} characters below the corpus folder", sample)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--media", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--seed", type=int, default=20260)
    args = parser.parse_args()

    out = args.out
    if out.exists():
        if any(out.iterdir()) and not (out / "corpus.tsv").exists():
            sys.exit(f"make_corpus: {out} holds files that are not a corpus; not touching it")
        shutil.rmtree(out)
    out.mkdir(parents=True)

    media = {name: (args.media / name).read_bytes() for name in SOURCES}
    rng = random.Random(args.seed)
    corpus = Corpus(out)

    for name in SOURCES:
        corpus.write(name, "original", "undamaged copy", media[name])
    add_odd_files(corpus, media["sample.mp4"])

    add_cuts(corpus, rng, "sample.mp4", media["sample.mp4"], 20)
    add_cuts(corpus, rng, "sample.mov", media["sample.mov"], 5)
    add_cuts(corpus, rng, "video-only.mp4", media["video-only.mp4"], 2)
    add_cuts(corpus, rng, "audio-only.mp4", media["audio-only.mp4"], 2)

    add_box_faults(corpus, rng, "sample.mp4", media["sample.mp4"], first=11, later=6)
    add_box_faults(corpus, rng, "sample.mov", media["sample.mov"], first=5, later=0)
    add_box_faults(corpus, rng, "video-only.mp4", media["video-only.mp4"], first=4, later=4)
    add_box_faults(corpus, rng, "audio-only.mp4", media["audio-only.mp4"], first=4, later=4)

    add_flips(corpus, rng, "sample.mp4", media["sample.mp4"],
              [("moov", 1, 3), ("moov", 2, 3), ("moov", 4, 3), ("moov", 8, 3), ("moov", 16, 3),
               ("file", 32, 2), ("file", 256, 2), ("file", 2048, 2)])
    add_flips(corpus, rng, "sample.mov", media["sample.mov"],
              [("moov", 1, 2), ("moov", 4, 2), ("moov", 16, 2), ("file", 256, 1)])
    add_flips(corpus, rng, "video-only.mp4", media["video-only.mp4"],
              [("moov", 1, 2), ("moov", 4, 2), ("moov", 16, 2)])
    add_flips(corpus, rng, "audio-only.mp4", media["audio-only.mp4"],
              [("moov", 1, 2), ("moov", 4, 2), ("moov", 16, 2)])

    corpus.manifest()
    print(f"make_corpus: {len(corpus.rows)} entries in {out}")


if __name__ == "__main__":
    main()
