#!/usr/bin/env python3
"""Seeded corpus generator for the duplicate-finder benchmark.

Builds trees of real (non-sparse) files under OUT/SIZE/TREE, where SIZE is
"smoke", "full" or "scale-F".  Contents come from a seeded Mersenne Twister,
copies are made by reading the source back and writing it again, and every
file gets a seeded modification time, so one seed gives the same tree (names,
contents, times) on every run with the same Python.

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

TREES = ("mixed", "bigfiles", "manysmall", "samesize", "lastbyte", "rules")

FULL = {
    "mixed": {"files": 50_000, "bytes": 1_600_000_000},
    "bigfiles": {"min_size": 40_000_000, "max_size": 160_000_000},
    "manysmall": {"files": 200_000, "max_size": 2048},
    "samesize": {"files": 3000, "size": 4096},
    "lastbyte": {"a_files": 240, "a_size": 1 << 20, "b_files": 1200, "b_size": 16384},
    "rules": {},
}

SMOKE = {
    "mixed": {"files": 1000, "bytes": 32_000_000},
    "bigfiles": {"min_size": 800_000, "max_size": 3_200_000},
    "manysmall": {"files": 4000, "max_size": 2048},
    "samesize": {"files": 300, "size": 4096},
    "lastbyte": {"a_files": 40, "a_size": 65536, "b_files": 300, "b_size": 4096},
    "rules": {},
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
        if key in ("max_size", "size", "a_size", "b_size"):
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

    def _register(self, rel, size, digest):
        key = (size, digest)
        self.key_of[rel] = key
        self.names_of.setdefault(key, []).append(rel)
        self.used.add(rel)
        self.files += 1
        self.bytes += size
        t = BASE_MTIME + self.rng.randrange(0, 5 * 365 * 86400)
        os.utime(self.path(rel), ns=(t * 1_000_000_000, t * 1_000_000_000))

    def write_data(self, rel, data):
        fd = os.open(self.path(rel), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        try:
            view = memoryview(data)
            while view:
                view = view[os.write(fd, view):]
        finally:
            os.close(fd)
        self._register(rel, len(data), hashlib.blake2b(data, digest_size=16).digest())

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


GENERATORS = {
    "mixed": gen_mixed,
    "bigfiles": gen_bigfiles,
    "manysmall": gen_manysmall,
    "samesize": gen_samesize,
    "lastbyte": gen_lastbyte,
    "rules": gen_rules,
}


def settle_times(root):
    """Gives folders, symbolic links and the FIFO a fixed time, so that a listing of
    the tree is the same on every run."""
    stamp = (BASE_MTIME * 1_000_000_000,) * 2
    for folder, subdirs, files in os.walk(root, topdown=False):
        for name in subdirs + files:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                os.utime(path, ns=stamp, follow_symlinks=False)
            elif not os.path.isfile(path):  # folders, the FIFO
                os.utime(path, ns=stamp)
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
                    help="trees to generate (default: all): " + ", ".join(TREES))
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
    trees = args.trees or list(TREES)
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
