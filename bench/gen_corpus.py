#!/usr/bin/env python3
"""Seeded corpus generator for the duplicate-finder benchmark.

Builds trees of real files under OUT/SIZE/TREE, where SIZE is "smoke",
"full" or "scale-F".  Contents come from a seeded Mersenne Twister, copies
are written again (never linked), and every file gets a seeded modification
time, so one seed gives the same tree (names, contents, times) on every run
with the same Python.  Only the "sparse" tree has holes.

Next to each tree, TREE.json records the parameters and the true duplicate
groups (classes of byte-identical, non-empty regular files, one name per
file), which run.py uses as the reference when it compares the tools.

Standard library only.
"""

import argparse
import hashlib
import json
import math
import os
import random
import shutil
import sys
import time

GEN_VERSION = 1
DEFAULT_SEED = 1
CHUNK = 4 << 20
BASE_MTIME = 1_500_000_000  # July 2017; times spread over the five years after

# The trees generated and timed when none are named.
DEFAULT_TREES = ("mixed", "bigfiles", "manysmall", "samesize", "lastbyte", "rules")
# Large runs of equal sizes, many search entries, and many files: named on demand.
LARGE_TREES = ("samesize-distinct", "samesize-tail", "identical-1m", "tail-1m", "sparse",
               "entries", "million", "million-300k")
TREES = DEFAULT_TREES + LARGE_TREES

FULL = {
    "mixed": {"files": 50_000, "bytes": 1_600_000_000},
    "bigfiles": {"min_size": 40_000_000, "max_size": 160_000_000},
    "manysmall": {"files": 200_000, "max_size": 2048},
    "samesize": {"files": 3000, "size": 4096},
    "lastbyte": {"a_files": 240, "a_size": 1 << 20, "b_files": 1200, "b_size": 16384},
    "rules": {},
    "samesize-distinct": {"files": 20_000, "size": 102_400},
    "samesize-tail": {"files": 20_000, "size": 102_400, "tail": 8},
    "identical-1m": {"files": 1000, "size": 1 << 20},
    "tail-1m": {"files": 2000, "size": 1 << 20, "tail": 4096},
    "sparse": {"files": 20_000, "size": 1_000_000, "tail": 8},
    "entries": {"folders": 10_000, "per_folder": 3},
    "million": {"files": 1_000_000, "per_folder": 100},
    "million-300k": {"files": 300_000, "per_folder": 100},
}

SMOKE = {
    "mixed": {"files": 1000, "bytes": 32_000_000},
    "bigfiles": {"min_size": 800_000, "max_size": 3_200_000},
    "manysmall": {"files": 4000, "max_size": 2048},
    "samesize": {"files": 300, "size": 4096},
    "lastbyte": {"a_files": 40, "a_size": 65536, "b_files": 300, "b_size": 4096},
    "rules": {},
    "samesize-distinct": {"files": 300, "size": 102_400},
    "samesize-tail": {"files": 300, "size": 102_400, "tail": 8},
    "identical-1m": {"files": 30, "size": 1 << 20},
    "tail-1m": {"files": 40, "size": 1 << 20, "tail": 4096},
    "sparse": {"files": 200, "size": 1_000_000, "tail": 8},
    "entries": {"folders": 200, "per_folder": 3},
    "million": {"files": 2000, "per_folder": 100},
    "million-300k": {"files": 600, "per_folder": 100},
}

DESCRIPTIONS = {
    "mixed": "nested folders, log-normal sizes, 15% copies, 2% near copies "
             "(one byte changed), empty, hidden, hard-linked and symlinked files",
    "bigfiles": "24 files of 40-160 MB: copies, and same-size files that differ "
                "entirely or only in the first, a middle or the last byte",
    "manysmall": "files of 0-2 KiB in nested folders, 10% copies",
    "samesize": "files of 4096 bytes in one run of equal sizes, 10% copies",
    "lastbyte": "same-size files that differ only at the very end "
                "(last byte; last two bytes in the larger run), with copies",
    "rules": "the edge cases: empty, hidden, hard links, symlinks, a FIFO, "
             "odd names, one-byte files, a last byte at 50000k+1",
    "samesize-distinct": "files of 100 KiB, all different from their first bytes",
    "samesize-tail": "files of 100 KiB, all different, but only in their last 8 bytes",
    "identical-1m": "files of 1 MiB, all identical (one group)",
    "tail-1m": "files of 1 MiB that differ only in their last 4 KiB; a tenth are "
               "copies, in groups of 2-5 (half of them pairs)",
    "sparse": "sparse files of 1,000,000 bytes made with truncate: a tenth holes only "
              "(one group), the rest 8 bytes written at the end, a tenth of those copies",
    "entries": "folders in two levels (100 a parent) with a few files each, 10% copies; "
               "run.py also passes every folder as its own search entry",
    "million": "small files (median 1.5 KB), 100 a folder: mostly unique, 10% "
               "copies (some of a few popular files), 0.2% empty",
    "million-300k": "the million shape with 300,000 files",
}


def params_for(tree, size_name, scale):
    """The generator parameters of TREE for a size name and scale factor."""
    if size_name == "smoke":
        return dict(SMOKE[tree])
    base = dict(FULL[tree])
    if scale == 1.0:
        return base
    out = {}
    for key, value in base.items():
        if key in ("max_size", "size", "a_size", "b_size", "tail", "per_folder"):
            out[key] = value  # the shape of the run stays, the count scales
        elif key in ("a_files",):
            out[key] = max(4, min(250, round(value * scale)))
        else:
            out[key] = max(4, round(value * scale))
    if tree == "bigfiles":
        out["min_size"] = max(1024, round(base["min_size"] * scale))
        out["max_size"] = max(out["min_size"] + 1, round(base["max_size"] * scale))
    return out


def size_label(size_name, scale):
    if size_name == "smoke":
        return "smoke"
    if scale == 1.0:
        return "full"
    return "scale-%g" % scale


class Tree:
    """Writes one tree and keeps the record of what it wrote."""

    def __init__(self, root, rng):
        self.root = root
        self.rng = rng
        self.key_of = {}      # relative path -> (size, digest) of regular files
        self.names_of = {}    # (size, digest) -> relative paths, one per file
        self.used = set()
        self.files = 0
        self.bytes = 0
        self.hardlinks = 0
        self.symlinks = 0
        self.specials = 0

    def path(self, rel):
        return os.path.join(self.root, rel)

    def mkdir(self, rel):
        os.makedirs(self.path(rel), exist_ok=True)

    def unique(self, rel):
        """REL, or REL with a counter before its extension if already taken."""
        if rel not in self.used:
            return rel
        stem, ext = os.path.splitext(rel)
        n = 2
        while "%s~%d%s" % (stem, n, ext) in self.used:
            n += 1
        return "%s~%d%s" % (stem, n, ext)

    def _register(self, rel, size, digest, fd=None):
        """Records REL and gives it its time, through FD while it is open."""
        key = (size, digest)
        self.key_of[rel] = key
        self.names_of.setdefault(key, []).append(rel)
        self.used.add(rel)
        self.files += 1
        self.bytes += size
        t = BASE_MTIME + self.rng.randrange(0, 5 * 365 * 86400)
        os.utime(self.path(rel) if fd is None else fd, ns=(t * 1_000_000_000, t * 1_000_000_000))

    def write_data(self, rel, data, digest=None):
        """Writes DATA to REL; DIGEST, when given, is its known blake2b-128."""
        fd = os.open(self.path(rel), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        try:
            view = memoryview(data)
            while view:
                view = view[os.write(fd, view):]
            if digest is None:
                digest = hashlib.blake2b(data, digest_size=16).digest()
            self._register(rel, len(data), digest, fd)
        finally:
            os.close(fd)

    def write_sparse(self, rel, size, tail, digest):
        """A file of SIZE bytes made with truncate, holes only but for TAIL
        written at its very end; DIGEST is that of its contents."""
        fd = os.open(self.path(rel), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        try:
            os.ftruncate(fd, size)
            if tail:
                os.pwrite(fd, tail, size - len(tail))
            self._register(rel, size, digest, fd)
        finally:
            os.close(fd)

    def write_random(self, rel, size):
        if size <= CHUNK:
            self.write_data(rel, self.rng.randbytes(size))
            return
        h = hashlib.blake2b(digest_size=16)
        with open(self.path(rel), "wb") as f:
            left = size
            while left:
                block = self.rng.randbytes(min(CHUNK, left))
                h.update(block)
                f.write(block)
                left -= len(block)
        self._register(rel, size, h.digest())

    def copy(self, src, rel, flips=None):
        """Copies SRC to REL by reading and writing; FLIPS maps offsets to a
        non-zero XOR mask, so each flip changes that byte."""
        flips = flips or {}
        h = hashlib.blake2b(digest_size=16)
        size = 0
        with open(self.path(src), "rb") as fin, open(self.path(rel), "wb") as fout:
            while True:
                block = fin.read(CHUNK)
                if not block:
                    break
                if flips:
                    hit = [o for o in flips if size <= o < size + len(block)]
                    if hit:
                        block = bytearray(block)
                        for o in hit:
                            block[o - size] ^= flips[o]
                        block = bytes(block)
                    h.update(block)
                fout.write(block)
                size += len(block)
        digest = h.digest() if flips else self.key_of[src][1]
        self._register(rel, size, digest)

    def hardlink(self, src, rel):
        os.link(self.path(src), self.path(rel))
        self.used.add(rel)
        self.hardlinks += 1

    def symlink(self, target, rel):
        os.symlink(target, self.path(rel))
        self.used.add(rel)
        self.symlinks += 1

    def fifo(self, rel):
        os.mkfifo(self.path(rel))
        self.used.add(rel)
        self.specials += 1

    def groups(self):
        """The true duplicate groups: byte-identical non-empty files."""
        out = [sorted(names) for (size, _), names in self.names_of.items()
               if size > 0 and len(names) >= 2]
        out.sort()
        return out


WORDS = ["docs", "photos", "music", "src", "backup", "old", "projects", "work",
         "2019", "2021", "Café", "résumé", "My Files", "Downloads", "archive",
         "build", "assets", "notes", "Übersicht", "misc", "video", "data"]
EXTS = [".txt", ".jpg", ".png", ".mp3", ".pdf", ".dat", ".bin", ".c", ".h",
        ".json", "", ".tar.gz", ".doc", ".flac"]


def make_dirs(t, count, max_depth, hidden_share):
    """COUNT nested folders (the root included); returns (rel, hidden) pairs."""
    rng = t.rng
    dirs = [("", 0, False)]
    for i in range(1, count):
        while True:
            parent, depth, hidden = dirs[rng.randrange(len(dirs))]
            if depth < max_depth:
                break
        word = WORDS[rng.randrange(len(WORDS))]
        name = "%s%s%d" % (word, " " if rng.random() < 0.1 else "_", i)
        if rng.random() < hidden_share:
            name = "." + name
            hidden = True
        rel = os.path.join(parent, name)
        t.mkdir(rel)
        dirs.append((rel, depth + 1, hidden))
    return [(d, h) for d, _, h in dirs]


def file_name(rng, i, hidden_share):
    name = "%s%d%s" % (WORDS[rng.randrange(len(WORDS))].lower().replace(" ", "-"),
                       i, EXTS[rng.randrange(len(EXTS))])
    if rng.random() < hidden_share:
        name = "." + name
    return name


def plan_copies(rng, sources, count, sizes=None):
    """COUNT copy sources drawn from SOURCES, in groups of one to four copies."""
    out = []
    while len(out) < count:
        src = sources[rng.randrange(len(sources))]
        if sizes is not None and sizes[src] == 0:
            continue
        k = (1, 1, 1, 1, 2, 2, 3, 4)[rng.randrange(8)]
        out.extend([src] * min(k, count - len(out)))
    return out


def place_copy(t, dirs, src):
    """A path for a copy of SRC: its own name in another folder, or a new name."""
    rng = t.rng
    folder = dirs[rng.randrange(len(dirs))][0]
    base = os.path.basename(src)
    if rng.random() < 0.5:
        base = "copy of " + base.lstrip(".") if rng.random() < 0.5 else "Kopie_" + base
    return t.unique(os.path.join(folder, base))


def gen_mixed(t, p):
    rng = t.rng
    n = p["files"]
    n_empty = max(2, n * 5 // 1000)
    n_copy = n * 15 // 100
    n_near = max(2, n * 2 // 100)
    n_orig = n - n_empty - n_copy - n_near
    dirs = make_dirs(t, max(4, n // 25), 7, 0.01)

    raw = [min(64 << 20, max(1, int(rng.lognormvariate(math.log(6000), 1.7))))
           for _ in range(n_orig)]
    copies = plan_copies(rng, range(n_orig), n_copy)
    near = [rng.randrange(n_orig) for _ in range(n_near)]
    total = sum(raw) + sum(raw[s] for s in copies) + sum(raw[s] for s in near)
    factor = p["bytes"] / total
    sizes = [max(1, round(s * factor)) for s in raw]

    names = []
    for i in range(n_orig):
        folder = dirs[rng.randrange(len(dirs))][0]
        rel = t.unique(os.path.join(folder, file_name(rng, i, 0.02)))
        t.write_random(rel, sizes[i])
        names.append(rel)
    for i in range(n_empty):
        folder = dirs[rng.randrange(len(dirs))][0]
        t.write_data(t.unique(os.path.join(folder, "empty%d%s" % (i, EXTS[i % len(EXTS)]))), b"")
    for src in copies:
        t.copy(names[src], place_copy(t, dirs, names[src]))
    for src in near:
        size = sizes[src]
        where = (0, size // 2, size - 1)[rng.randrange(3)]
        folder = dirs[rng.randrange(len(dirs))][0]
        rel = t.unique(os.path.join(folder, "edited " + os.path.basename(names[src]).lstrip(".")))
        t.copy(names[src], rel, {where: 1 + rng.randrange(255)})
    for i in range(max(2, n * 2 // 1000)):
        src = names[rng.randrange(n_orig)]
        folder = dirs[rng.randrange(len(dirs))][0]
        t.hardlink(src, t.unique(os.path.join(folder, "link%d-%s" % (i, os.path.basename(src)))))
    for i in range(max(2, n // 1000)):
        src = names[rng.randrange(n_orig)]
        folder = dirs[rng.randrange(len(dirs))][0]
        target = os.path.relpath(src, folder or ".")
        t.symlink(target, t.unique(os.path.join(folder, "symlink%d" % i)))
    t.symlink(".", t.unique("loop"))  # a folder link back to the root


def gen_bigfiles(t, p):
    rng = t.rng
    lo, hi = p["min_size"], p["max_size"]
    folders = ["Videos", "Videos/2020", "Images", "Backups/old disk"]
    for f in folders:
        t.mkdir(f)
    names = []
    for i in range(14):
        rel = "%s/%s_%02d%s" % (folders[i % len(folders)], ("video", "disk", "take")[i % 3], i,
                                (".mkv", ".img", ".mov")[i % 3])
        t.write_random(rel, rng.randrange(lo, hi + 1))
        names.append(rel)
    sizes = [t.key_of[n][0] for n in names]
    for src, count in ((0, 1), (1, 1), (2, 2), (3, 2)):
        for c in range(count):
            folder = folders[(src + c + 1) % len(folders)]
            t.copy(names[src], t.unique("%s/copy %d of %s" % (folder, c + 1, os.path.basename(names[src]))))
    # same size, different content: entirely, and in one byte at the end,
    # the start and the middle
    t.write_random("Images/other_%02d.img" % 4, sizes[4])
    t.copy(names[5], "Backups/lastbyte_%02d.img" % 5, {sizes[5] - 1: 0x80})
    t.copy(names[6], "Backups/firstbyte_%02d.img" % 6, {0: 0x01})
    t.copy(names[7], "Backups/midbyte_%02d.img" % 7, {sizes[7] // 2: 0x55})


def gen_manysmall(t, p):
    rng = t.rng
    n = p["files"]
    n_copy = n // 10
    n_orig = n - n_copy
    dirs = make_dirs(t, max(4, n // 100), 5, 0.005)
    names, sizes = [], []
    for i in range(n_orig):
        folder = dirs[rng.randrange(len(dirs))][0]
        rel = t.unique(os.path.join(folder, file_name(rng, i, 0.01)))
        size = rng.randrange(p["max_size"] + 1)
        t.write_data(rel, rng.randbytes(size))
        names.append(rel)
        sizes.append(size)
    for src in plan_copies(rng, range(n_orig), n_copy, sizes):
        t.copy(names[src], place_copy(t, dirs, names[src]))


def gen_samesize(t, p):
    rng = t.rng
    n, size = p["files"], p["size"]
    n_copy = n // 10
    n_orig = n - n_copy
    folders = ["a", "b", "c"]
    for f in folders:
        t.mkdir(f)
    names = []
    for i in range(n_orig):
        rel = "%s/block%05d.bin" % (folders[i % 3], i)
        t.write_data(rel, rng.randbytes(size))
        names.append(rel)
    for j, src in enumerate(plan_copies(rng, range(n_orig), n_copy)):
        t.copy(names[src], "%s/copy%05d.bin" % (folders[rng.randrange(3)], j))


def gen_tail_run(t, folder, files, size, tail_bytes):
    """FILES files of SIZE bytes that share everything but the last TAIL_BYTES
    bytes; a sixth of them are copies of others."""
    rng = t.rng
    t.mkdir(folder)
    distinct = min(files - files // 6, 256 ** tail_bytes)
    body = rng.randbytes(size - tail_bytes)
    names = []
    order = list(range(distinct))
    rng.shuffle(order)
    for i, v in enumerate(order):
        rel = "%s/tail%05d.bin" % (folder, i)
        t.write_data(rel, body + v.to_bytes(tail_bytes, "big"))
        names.append(rel)
    for j, src in enumerate(plan_copies(rng, range(distinct), files - distinct)):
        t.copy(names[src], "%s/copy%05d.bin" % (folder, j))


def gen_lastbyte(t, p):
    gen_tail_run(t, "last-byte", p["a_files"], p["a_size"], 1)
    gen_tail_run(t, "last-two-bytes", p["b_files"], p["b_size"], 2)


def gen_rules(t, p):
    for d in ("a", "a/b", ".hidden-dir", "c", "odd names", "sizes"):
        t.mkdir(d)
    # a plain group, reached also through a hidden name and a hidden folder
    t.write_random("a/x.txt", 3000)
    t.copy("a/x.txt", "a/b/x.txt")
    t.copy("a/x.txt", ".x-hidden.txt")
    t.copy("a/x.txt", ".hidden-dir/x.txt")
    # a group that only hidden names hold
    t.write_random(".hidden-dir/h1", 5000)
    t.copy(".hidden-dir/h1", ".hidden-dir/h2")
    # empty files, never duplicates
    for rel in ("empty1", "a/empty2", ".empty3", "c/empty4"):
        t.write_data(rel, b"")
    # hard links: one file under two names is no duplicate of itself
    t.write_random("c/solo.dat", 7000)
    t.hardlink("c/solo.dat", "c/solo-link.dat")
    t.hardlink("a/x.txt", "c/x-link.txt")
    # a file whose first name is hidden, another name visible, and a copy
    t.write_random(".first-name", 4000)
    t.hardlink(".first-name", "z-second-name")
    t.copy(".first-name", "c/z-copy")
    # symbolic links are not followed: to a file, to a folder, dangling, a loop
    t.symlink("a/x.txt", "link-to-x")
    t.symlink("a", "link-to-a")
    t.symlink("missing", "dangling")
    t.symlink("..", "a/b/loop")
    # not a regular file
    t.fifo("c/pipe")
    # odd names
    t.write_random("odd names/with space.txt", 1500)
    t.copy("odd names/with space.txt", "odd names/tab\there.txt")
    t.copy("odd names/with space.txt", "odd names/back\\slash.txt")
    t.copy("odd names/with space.txt", "odd names/ünïcødé ✓.txt")
    t.copy("odd names/with space.txt", "odd names/-starts-with-dash")
    t.copy("odd names/with space.txt", "odd names/*star?[x]")
    # one-byte files: equal and different
    t.write_data("sizes/one-a", b"A")
    t.write_data("sizes/one-b", b"A")
    t.write_data("sizes/one-c", b"B")
    # same size, differing only in the last byte at 50000k+1 and at a block end
    for size in (50001, 100001, 65536, 1 << 20):
        base = "sizes/s%d" % size
        t.write_random(base + "-orig", size)
        t.copy(base + "-orig", base + "-copy")
        t.copy(base + "-orig", base + "-last", {size - 1: 0x01})
    # same size, different content from the first byte
    t.write_random("sizes/same-size-1", 2048)
    t.write_random("sizes/same-size-2", 2048)


def blake(data):
    return hashlib.blake2b(data, digest_size=16)


def distinct_ends(rng, count, length):
    """COUNT different non-zero byte strings of LENGTH bytes."""
    seen, out = set(), []
    while len(out) < count:
        v = rng.getrandbits(8 * length)
        if v and v not in seen:
            seen.add(v)
            out.append(v.to_bytes(length, "big"))
    return out


def run_folders(t, files, per=1000):
    """Folders d00, d01, ... for FILES files, PER a folder; returns the
    folder of each file."""
    count = max(1, -(-files // per))
    for k in range(count):
        t.mkdir("d%02d" % k)
    return ["d%02d" % (i // per) for i in range(files)]


def gen_samesize_distinct(t, p):
    """Every file different from its first bytes: 16 random bytes, then a
    slice of a shared random pool at a random offset."""
    rng = t.rng
    n, size = p["files"], p["size"]
    pool = rng.randbytes(4 * size)
    for i, folder in enumerate(run_folders(t, n)):
        off = rng.randrange(len(pool) - size)
        t.write_data("%s/file%05d.bin" % (folder, i), rng.randbytes(16) + pool[off:off + size - 16])


def gen_samesize_tail(t, p):
    """One random body; every file ends in its own TAIL bytes, so all differ
    and only at the very end."""
    rng = t.rng
    n, size, tail = p["files"], p["size"], p["tail"]
    body = rng.randbytes(size - tail)
    head = blake(body)
    tails = distinct_ends(rng, n, tail)
    for i, folder in enumerate(run_folders(t, n)):
        end = tails[i]
        h = head.copy()
        h.update(end)
        t.write_data("%s/tail%05d.bin" % (folder, i), body + end, h.digest())


def gen_identical(t, p):
    rng = t.rng
    data = rng.randbytes(p["size"])
    digest = blake(data).digest()
    for i, folder in enumerate(run_folders(t, p["files"], 100)):
        t.write_data("%s/same%04d.bin" % (folder, i), data, digest)


def gen_tail_1m(t, p):
    """One random body; the last TAIL bytes random for each file, and a
    tenth of the files copies of others (mostly pairs)."""
    rng = t.rng
    n, size, tail = p["files"], p["size"], p["tail"]
    n_copy = n // 10
    body = rng.randbytes(size - tail)
    head = blake(body)
    folders = run_folders(t, n, 200)
    ends, digests = [], []
    for i in range(n - n_copy):
        end = rng.randbytes(tail)
        h = head.copy()
        h.update(end)
        ends.append(end)
        digests.append(h.digest())
        t.write_data("%s/tail%04d.bin" % (folders[i], i), body + end, digests[-1])
    for j, src in enumerate(plan_copies(rng, range(n - n_copy), n_copy)):
        i = n - n_copy + j
        t.write_data("%s/copy%04d.bin" % (folders[i], j), body + ends[src], digests[src])


def gen_sparse(t, p):
    """Files of SIZE bytes made with truncate: a tenth holes only (all
    equal), the rest with TAIL distinct bytes written at the end, a tenth
    of those copies of others.  Only the tails take disk space."""
    rng = t.rng
    n, size, tail = p["files"], p["size"], p["tail"]
    n_holes = max(2, n // 10)
    n_copy = (n - n_holes) // 10
    n_tail = n - n_holes - n_copy
    zeros = blake(bytes(size)).digest()
    head = blake(bytes(size - tail))
    folders = run_folders(t, n)
    ends, digests = [], []
    for end in distinct_ends(rng, n_tail, tail):
        h = head.copy()
        h.update(end)
        ends.append(end)
        digests.append(h.digest())
    order = list(range(n))
    rng.shuffle(order)  # holes, tails and copies mixed in every folder
    copies = plan_copies(rng, range(n_tail), n_copy)
    for i in range(n):
        k = order[i]
        rel = "%s/sparse%05d.img" % (folders[i], i)
        if k < n_holes:
            t.write_sparse(rel, size, b"", zeros)
        elif k < n_holes + n_tail:
            j = k - n_holes
            t.write_sparse(rel, size, ends[j], digests[j])
        else:
            src = copies[k - n_holes - n_tail]
            t.write_sparse(rel, size, ends[src], digests[src])


def entry_folder(k):
    """The Kth folder of the entries tree: every hundredth a parent, the
    others its sub-folders."""
    parent = "p%03d" % (k // 100)
    return parent if k % 100 == 0 else "%s/s%02d" % (parent, k % 100)


def gen_entries(t, p):
    rng = t.rng
    names = []
    for k in range(p["folders"]):
        folder = entry_folder(k)
        t.mkdir(folder)
        for f in range(p["per_folder"]):
            rel = t.unique("%s/%s" % (folder, file_name(rng, len(names), 0)))
            if names and rng.random() < 0.1:
                t.copy(names[rng.randrange(len(names))], rel)
            else:
                t.write_data(rel, rng.randbytes(rng.randrange(1, 8193)))
                names.append(rel)


def gen_million(t, p):
    """FILES small files, PER_FOLDER a folder, 100 folders a parent, written
    in one pass.  An original is its number (8 bytes) followed by a slice of
    a random pool, so it is rebuilt, not read back, for its copies."""
    rng = t.rng
    n, per = p["files"], p["per_folder"]
    max_size = 64 << 10
    pool = rng.randbytes(2 * max_size)
    sizes, offsets, digests = [], [], []
    n_folders = max(1, round(n / per))
    popular = 200
    done = 0
    for k in range(n_folders):
        folder = "%03d/%05d" % (k // 100, k)
        if k % 100 == 0:
            t.mkdir(folder[:3])
        t.mkdir(folder)
        end = n * (k + 1) // n_folders
        while done < end:
            r = rng.random()
            rel = t.unique("%s/%s" % (folder, file_name(rng, done, 0)))
            if r < 0.002:
                t.write_data(rel, b"")
            elif r < 0.1 and len(sizes) > popular:
                # a copy: mostly of any earlier file, sometimes of a popular one
                src = rng.randrange(popular if r < 0.02 else len(sizes))
                size, off = sizes[src], offsets[src]
                data = (src.to_bytes(8, "little") + pool[off:off + max(0, size - 8)])[:size]
                t.write_data(rel, data, digests[src])
            else:
                size = min(max_size, max(1, int(rng.lognormvariate(7.3, 1.2))))
                off = rng.randrange(len(pool) - size)
                data = (len(sizes).to_bytes(8, "little") + pool[off:off + max(0, size - 8)])[:size]
                t.write_data(rel, data)
                sizes.append(size)
                offsets.append(off)
                digests.append(t.key_of[rel][1])
            done += 1


GENERATORS = {
    "mixed": gen_mixed,
    "bigfiles": gen_bigfiles,
    "manysmall": gen_manysmall,
    "samesize": gen_samesize,
    "lastbyte": gen_lastbyte,
    "rules": gen_rules,
    "samesize-distinct": gen_samesize_distinct,
    "samesize-tail": gen_samesize_tail,
    "identical-1m": gen_identical,
    "tail-1m": gen_tail_1m,
    "sparse": gen_sparse,
    "entries": gen_entries,
    "million": gen_million,
    "million-300k": gen_million,
}


def settle_times(root):
    """Gives folders, symbolic links and the FIFO a fixed time, so that a listing of
    the tree is the same on every run."""
    stamp = (BASE_MTIME * 1_000_000_000,) * 2
    stack = [root]
    while stack:  # the kinds from the folder entries: no stat for each file
        with os.scandir(stack.pop()) as it:
            for entry in it:
                if entry.is_symlink():
                    os.utime(entry.path, ns=stamp, follow_symlinks=False)
                elif not entry.is_file(follow_symlinks=False):  # folders, the FIFO
                    if entry.is_dir(follow_symlinks=False):
                        stack.append(entry.path)
                    os.utime(entry.path, ns=stamp)
    os.utime(root, ns=stamp)


def manifest_path(out, label, tree):
    return os.path.join(out, label, tree + ".json")


def tree_path(out, label, tree):
    return os.path.join(out, label, tree)


def load_manifest(out, label, tree):
    try:
        with open(manifest_path(out, label, tree), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def ensure(out, tree, size_name="smoke", scale=1.0, seed=DEFAULT_SEED, force=False, log=sys.stderr):
    """Generates TREE unless an identical one is already there; returns
    (path of the tree, its manifest)."""
    label = size_label(size_name, scale)
    params = params_for(tree, size_name, scale)
    root = tree_path(out, label, tree)
    wanted = {"version": GEN_VERSION, "seed": seed, "params": params}
    old = load_manifest(out, label, tree)
    if (not force and old is not None and os.path.isdir(root)
            and {k: old.get(k) for k in wanted} == wanted):
        return root, old

    os.makedirs(os.path.join(out, label), exist_ok=True)
    partial = os.path.join(out, label, "." + tree + ".partial")
    for stale in (partial, root, manifest_path(out, label, tree)):
        if os.path.isdir(stale) and not os.path.islink(stale):
            shutil.rmtree(stale)
        elif os.path.lexists(stale):
            os.unlink(stale)
    os.makedirs(partial)
    start = time.monotonic()
    print("generating %s/%s (seed %d) ..." % (label, tree, seed), file=log, flush=True)
    t = Tree(partial, random.Random("kormial-bench:%d:%s" % (seed, tree)))
    GENERATORS[tree](t, params)
    os.rename(partial, root)
    settle_times(root)
    groups = t.groups()
    manifest = dict(wanted)
    manifest.update({
        "tree": tree,
        "size": label,
        "description": DESCRIPTIONS[tree],
        "files": t.files,
        "bytes": t.bytes,
        "hardlinks": t.hardlinks,
        "symlinks": t.symlinks,
        "specials": t.specials,
        "dup_groups": len(groups),
        "dup_files": sum(len(g) for g in groups),
        "groups": groups,
    })
    tmp = manifest_path(out, label, tree) + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(manifest, f, ensure_ascii=False)
    os.replace(tmp, manifest_path(out, label, tree))
    print("  %s: %d files, %.1f MB, %d duplicate groups (%d files), %.1f s"
          % (root, t.files, t.bytes / 1e6, len(groups), manifest["dup_files"],
             time.monotonic() - start), file=log, flush=True)
    return root, manifest


def default_out():
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Generate the benchmark trees (deterministic for a seed).")
    ap.add_argument("trees", nargs="*", metavar="TREE",
                    help="trees to generate (default: %s): %s"
                         % (", ".join(DEFAULT_TREES), ", ".join(TREES)))
    ap.add_argument("--out", default=default_out(),
                    help="folder that receives SIZE/TREE (default: bench/corpus)")
    ap.add_argument("--size", choices=("smoke", "full"), default="smoke",
                    help="smoke (small, seconds) or full (the benchmark shapes); default smoke")
    ap.add_argument("--scale", type=float, default=1.0,
                    help="with --size full: multiply the file counts (bigfiles: the sizes)")
    ap.add_argument("--seed", type=int, default=DEFAULT_SEED, help="default %d" % DEFAULT_SEED)
    ap.add_argument("--force", action="store_true", help="regenerate even if up to date")
    ap.add_argument("--list", action="store_true", help="describe the trees and exit")
    args = ap.parse_args(argv)

    if args.list:
        for tree in TREES:
            print("%-10s %s\n           full %s\n           smoke %s"
                  % (tree, DESCRIPTIONS[tree], FULL[tree] or "fixed", SMOKE[tree] or "fixed"))
        return 0
    if args.scale <= 0:
        ap.error("--scale must be positive")
    trees = args.trees or list(DEFAULT_TREES)
    for tree in trees:
        if tree not in TREES:
            ap.error("unknown tree %r (known: %s)" % (tree, ", ".join(TREES)))
    out = os.path.abspath(args.out)
    for tree in trees:
        root, manifest = ensure(out, tree, args.size, args.scale, args.seed, args.force)
        print("%s\t%d files\t%.1f MB\t%d groups" % (root, manifest["files"],
                                                     manifest["bytes"] / 1e6, manifest["dup_groups"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
