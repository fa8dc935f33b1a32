#!/usr/bin/env python3
"""Time the folder walk at depth: a chain of N nested folders beside N sibling
folders.

Both trees hold N folders and the same two files: one at the top and its copy
in the deepest folder (the chain) or in the last folder (the siblings), so
every search must walk all of them and find one pair.  kormial-cli searches
each tree with -t dup -f tsv; the script checks the pair and prints the median
wall times and their ratio.  See README.md.

Standard library only.
"""

import argparse
import os
import stat
import statistics
import subprocess
import sys
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(BENCH)
CONTENT = b"the same bytes at both ends of the tree\n"


def make_chain(root, levels):
    """`levels` folders, each inside the one before, made by relative names
    so that no path limit applies; the copy lies in the deepest one."""
    os.makedirs(root)
    with open(os.path.join(root, "top.txt"), "wb") as f:
        f.write(CONTENT)
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for _ in range(levels):
            os.mkdir("d", dir_fd=fd)
            inner = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = inner
        out = os.open("bottom.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
        os.write(out, CONTENT)
        os.close(out)
    finally:
        os.close(fd)


def make_siblings(root, count):
    os.makedirs(root)
    with open(os.path.join(root, "top.txt"), "wb") as f:
        f.write(CONTENT)
    width = len(str(count))
    for i in range(count):
        os.mkdir(os.path.join(root, "d%0*d" % (width, i)))
    with open(os.path.join(root, "d%0*d" % (width, count - 1), "bottom.txt"), "wb") as f:
        f.write(CONTENT)


def remove_tree(root):
    """Removes a tree of any depth without recursion: what a folder below the
    top holds is lifted into the top, then the emptied folder goes."""
    if not os.path.isdir(root):
        return
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    lifted = 0
    try:
        while True:
            names = os.listdir(fd)
            if not names:
                break
            for name in names:
                if not stat.S_ISDIR(os.stat(name, dir_fd=fd, follow_symlinks=False).st_mode):
                    os.unlink(name, dir_fd=fd)
                    continue
                sub = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
                try:
                    for inner in os.listdir(sub):
                        lifted += 1
                        os.rename(inner, "up%d" % lifted, src_dir_fd=sub, dst_dir_fd=fd)
                finally:
                    os.close(sub)
                os.rmdir(name, dir_fd=fd)
    finally:
        os.close(fd)
    os.rmdir(root)


def ensure(path, kind, count):
    """The tree at `path`, made again unless its marker says it is this one."""
    marker = path + ".made"
    want = "%s %d\n" % (kind, count)
    if os.path.isdir(path) and os.path.exists(marker) and open(marker).read() == want:
        return
    if os.path.exists(marker):
        os.unlink(marker)
    remove_tree(path)
    start = time.monotonic()
    (make_chain if kind == "chain" else make_siblings)(path, count)
    with open(marker, "w") as f:
        f.write(want)
    print("made %s of %d folders in %.1f s" % (path, count, time.monotonic() - start), file=sys.stderr)


def timed(binary, tree):
    start = time.monotonic()
    run = subprocess.run([binary, "-t", "dup", "-f", "tsv", tree], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    seconds = time.monotonic() - start
    rows = [line.split(b"\t") for line in run.stdout.splitlines()]
    names = sorted(r[-1] for r in rows if r[0] == b"1")
    ok = run.returncode == 0 and names == [b"bottom.txt", b"top.txt"]
    return seconds, ok, run.stderr.decode(errors="replace").strip().splitlines()[-1:]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--folders", type=int, default=30000, help="folders in each tree (default 30000)")
    ap.add_argument("--reps", type=int, default=3, help="timed runs per tree (default 3)")
    ap.add_argument("--kormial", default=os.environ.get("KORMIAL_CLI", os.path.join(REPO, "build", "kormial-cli")),
                    help="the kormial-cli to time (default $KORMIAL_CLI, then build/kormial-cli)")
    ap.add_argument("--corpus", default=os.path.join(BENCH, "corpus"), help="where the trees are made")
    ap.add_argument("--remove", action="store_true", help="remove the trees afterwards")
    args = ap.parse_args()

    trees = {"chain": os.path.join(args.corpus, "depth", "chain-%d" % args.folders),
             "siblings": os.path.join(args.corpus, "depth", "siblings-%d" % args.folders)}
    for kind, path in trees.items():
        ensure(path, kind, args.folders)
    medians = {}
    failed = False
    for kind, path in trees.items():
        timed(args.kormial, path)  # warm-up: the folders in the cache
        runs = [timed(args.kormial, path) for _ in range(args.reps)]
        medians[kind] = statistics.median(s for s, _, _ in runs)
        ok = all(k for _, k, _ in runs)
        failed = failed or not ok
        print("%-9s %6d folders  median %7.3f s  (%s)  %s" % (
            kind, args.folders, medians[kind], ", ".join("%.3f" % s for s, _, _ in runs),
            "pair found" if ok else "WRONG RESULT: %s" % runs[-1][2]))
    print("chain / siblings: %.2f (target: at most 2)" % (medians["chain"] / medians["siblings"]))
    if args.remove:
        for kind, path in trees.items():
            remove_tree(path)
            os.unlink(path + ".made")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
