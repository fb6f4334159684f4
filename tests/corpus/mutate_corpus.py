#!/usr/bin/env python3
"""Writes N mutated copies of the test movies, for a run of the module on chance damage.

    mutate_corpus.py --media MEDIA_DIR --out DIR --count N [--seed S]

File I is drawn by a generator seeded with (S, I) alone, so one file can be made again from
its seed and index, whatever N was. Its name says both: mutated-S-IIIII-<kind>.<ext>.
DIR/corpus.tsv lists every file (name, kind, detail) as make_corpus.py does, and DIR holds a
plain sample.mp4 for the runner's canary.
"""

import argparse
import random
import shutil
import sys
from pathlib import Path

# No compiled copy of make_corpus in the source tree.
sys.dont_write_bytecode = True
from make_corpus import SIZE_FAULTS, Corpus, box_tree, printable, size_detail, with_size_fault  # noqa: E402

# Movies the platform plays, and one whose video it cannot decode. A fixed list: a new test movie
# must not change the files that a seed and index name.
SOURCES = ["sample.mp4", "sample.mov", "hd720.mp4", "video-only.mp4", "audio-only.mp4", "anamorphic-4x3.mp4",
           "quadrants.mp4", "short-48x144.mp4", "black-1fps.mp4", "rotate-90.mp4", "rotate-180.mp4",
           "rotate-270.mp4", "rotate-90.mov", "rotate-180.mov", "rotate-270.mov", "hevc-10bit.mov"]
KINDS = ["byte-flip", "bit-flip", "insert", "delete", "truncate", "box-size", "box-type", "splice"]
# Most of a movie is sample data, which the platform's decoders see and the module does not:
# damage there mostly tests them. Half of the flips land in the header instead.
HEADER_SHARE = 0.5


def region(rng, data):
    moov = next(box for box in box_tree(data) if box.kind == b"moov")
    return (moov.offset, moov.end) if rng.random() < HEADER_SHARE else (0, len(data))


def flip(rng, data, bits):
    out = bytearray(data)
    lo, hi = region(rng, data)
    count = rng.choice([1, 2, 4, 16, 64])
    for offset in rng.sample(range(lo, hi), min(count, hi - lo)):
        out[offset] ^= (1 << rng.randrange(8)) if bits else rng.randrange(1, 256)
    unit = "bits" if bits else "bytes"
    return bytes(out), f"{count} {unit} changed in bytes {lo}..{hi - 1}"


def insert(rng, data):
    lo, hi = region(rng, data)
    at = rng.randrange(lo, hi)
    run = bytes(rng.randrange(256) for _ in range(rng.choice([1, 4, 16, 256])))
    return data[:at] + run + data[at:], f"{len(run)} random bytes inserted at {at}"


def delete(rng, data):
    lo, hi = region(rng, data)
    at = rng.randrange(lo, hi)
    length = min(rng.choice([1, 4, 16, 256, 4096]), len(data) - at)
    return data[:at] + data[at + length:], f"{length} bytes deleted at {at}"


def truncate(rng, data):
    at = rng.randrange(1, len(data))
    return data[:at], f"first {at} of {len(data)} bytes"


def box_size(rng, data):
    box = rng.choice(box_tree(data))
    fault = rng.choice(SIZE_FAULTS)
    return with_size_fault(data, box, fault), f"{box.label()}@{box.offset} {size_detail(box, fault, data)}"


def box_type(rng, data):
    box = rng.choice(box_tree(data))
    # Another type of the same file, so that a reader finds a known box in the wrong place.
    new = rng.choice(sorted(({other.kind for other in box_tree(data)} | {b"free", b"\0\0\0\0"}) - {box.kind}))
    out = data[:box.offset + 4] + new + data[box.offset + 8:]
    return out, f"{box.label()}@{box.offset} type {box.label()} -> {printable(new)}"


def splice(rng, data, other, other_name):
    cut = rng.randrange(1, len(data))
    start = rng.randrange(0, len(other))
    return data[:cut] + other[start:], f"first {cut} bytes, then {other_name} from byte {start}"


def mutated(seed, index, sources):
    """(kind, source name, detail, bytes) of file index."""
    rng = random.Random(f"{seed}-{index}")
    name = rng.choice(SOURCES)
    data = sources[name]
    kind = rng.choice(KINDS)
    if kind in ("byte-flip", "bit-flip"):
        out, detail = flip(rng, data, kind == "bit-flip")
    elif kind == "insert":
        out, detail = insert(rng, data)
    elif kind == "delete":
        out, detail = delete(rng, data)
    elif kind == "truncate":
        out, detail = truncate(rng, data)
    elif kind == "box-size":
        out, detail = box_size(rng, data)
    elif kind == "box-type":
        out, detail = box_type(rng, data)
    else:
        other = rng.choice(SOURCES)
        out, detail = splice(rng, data, sources[other], other)
    return kind, name, detail, out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--media", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--count", type=int, default=0)
    parser.add_argument("--seed", type=int, default=1)
    # Makes just these files of the seed's run again, as for the files that once failed.
    parser.add_argument("--indices", type=int, nargs="+")
    args = parser.parse_args()
    indices = args.indices or range(args.count)

    out = args.out
    if out.exists():
        if any(out.iterdir()) and not (out / "corpus.tsv").exists():
            sys.exit(f"mutate_corpus: {out} holds files that are not a corpus; not touching it")
        shutil.rmtree(out)
    out.mkdir(parents=True)

    missing = [name for name in SOURCES if not (args.media / name).is_file()]
    if missing:
        sys.exit(f"mutate_corpus: {args.media} lacks {', '.join(missing)}")
    sources = {name: (args.media / name).read_bytes() for name in SOURCES}
    corpus = Corpus(out)
    for index in indices:
        kind, name, detail, data = mutated(args.seed, index, sources)
        extension = name[name.rindex("."):]
        corpus.write(f"mutated-{args.seed}-{index:05d}-{kind}{extension}", kind, f"{name}: {detail}", data)
    corpus.manifest()
    shutil.copyfile(args.media / "sample.mp4", out / "sample.mp4")
    print(f"mutate_corpus: {len(indices)} files from {len(sources)} movies, seed {args.seed}, in {out}")


if __name__ == "__main__":
    main()
