#!/usr/bin/env python3
"""Benchmark kormial-cli against the Debian duplicate finders.

For each tree: a walk reference (find -type f), two read-once references
(readonce.c reading every file that has a same-size partner, on one thread
and with 4 readers), then kormial-cli and the peers back to back, each with
warm-up runs and timed runs under /usr/bin/time -v; with --cold, the page
cache is dropped before every run.  Then
every tool's groups are reduced to sets of files (device and inode) under
Kormial's rules and compared with the reference groups.  With --window, the
window's own search is timed too (kormial-window-bench), right after
kormial-cli, and its duplicate rows are checked against kormial-cli's.  See
README.md.

Standard library only.
"""

import argparse
import collections
import datetime
import fcntl
import json
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(BENCH)
sys.path.insert(0, BENCH)
sys.dont_write_bytecode = True  # keep bench/ free of __pycache__
import gen_corpus  # noqa: E402

TOOLS = ("kormial", "fdupes", "jdupes", "rdfind", "rmlint", "duff")
PEERS = TOOLS[1:]
PACKAGES = {"fdupes": "fdupes", "jdupes": "jdupes", "rdfind": "rdfind",
            "rmlint": "rmlint", "duff": "duff"}
LABELS = {
    "kormial": "kormial-cli -t dup",
    "fdupes": "fdupes -r",
    "jdupes": "jdupes -r",
    "rdfind": "rdfind -dryrun true",
    "rmlint": "rmlint",
    "duff": "duff -r",
    "walk": "walk: find -type f",
    "read": "read-once",
    "read4": "read-once, 4 readers",
    "window": "kormial-window-bench",
    "entries": "kormial-cli, every folder",
}

# What each tool does by default with the cases that Kormial's rules settle:
# empty files (Kormial: zero size, never duplicates), several names of one
# file (Kormial: the first name catalogued, the others passed over), hidden
# names (Kormial: included).  No tool follows symbolic links by default.
# Only "hidden" changes the groups expected of a tool; empty files and extra
# hard-link names are taken out of every tool's groups and counted.
RULES = {
    "kormial": {"empty": False, "hardlinks": "one name", "hidden": True},
    "fdupes": {"empty": True, "hardlinks": "one name", "hidden": True},
    "jdupes": {"empty": False, "hardlinks": "every name", "hidden": True},
    "rdfind": {"empty": False, "hardlinks": "one name", "hidden": True},
    "rmlint": {"empty": False, "hardlinks": "every name", "hidden": False},
    "duff": {"empty": True, "hardlinks": "every name", "hidden": False},
}
RULES["entries"] = RULES["kormial"]

PATH_TREES = {"usr": "/usr"}

# The references timed beside the tools: no groups, no memory compared.
REFERENCES = ("walk", "read", "read4")

# The tools timed on a tree when --tools is not given.  On a million small
# files the other peers take many times longer and add nothing to the
# comparison of time and memory.
TREE_TOOLS = {"million": ("kormial", "jdupes", "rdfind"),
              "million-300k": ("kormial", "jdupes", "rdfind")}

# Targets that the speed work aims at (ratios within one run).
FAST_TREES = ("mixed", "bigfiles", "manysmall", "usr")
BOUND_TREES = ("mixed", "bigfiles", "manysmall")
RSS_TARGETS = {"manysmall": 1.25, "usr": 1.25, "million-300k": 1.25, "million": 1.0}
# The limit: kormial-cli against the walk plus the reading of every
# candidate once, warm (one reader) and cold (4 readers), and the peers cold.
LIMIT_TREES = ("mixed", "manysmall", "identical-1m")
LIMIT_WARM = 1.15
LIMIT_COLD = 1.10
PEERS_COLD = 0.6
PARALLEL_READERS = 4
# Cost per file: the million shape at 100,000 files against 1,000,000.
SCALING_TARGET = 1.15
# Large runs of equal sizes: at most the time of the faster of these peers.
SAME_SIZE_TREES = ("samesize-distinct", "samesize-tail", "identical-1m", "tail-1m", "sparse")
SAME_SIZE_PEERS = ("jdupes", "rdfind")
# kormial-cli with the tree and every folder in it as search entries, against
# the tree alone.
ENTRIES_TREE = "entries"
ENTRIES_TARGET = 3.0


def log(*parts):
    print(*parts, file=sys.stderr, flush=True)


# ---------------------------------------------------------------- commands

def tool_command(tool, tree, work, kormial, args):
    if tool == "kormial":
        return [kormial, "-t", "dup", "--format", "tsv", tree]
    if tool == "fdupes":
        return ["fdupes", "-r", tree]
    if tool == "jdupes":
        return ["jdupes", "-r", tree]
    if tool == "rdfind":
        return ["rdfind", "-dryrun", "true", "-outputname",
                os.path.join(work, "results.txt"), tree]
    if tool == "rmlint":
        extra = ["--without-fiemap"] if args.rmlint_without_fiemap else []
        return ["rmlint"] + extra + [tree]  # writes rmlint.json and rmlint.sh into work
    if tool == "duff":
        return ["duff", "-r", tree]
    raise ValueError(tool)


def drop_caches():
    """Writes dirty pages out and drops the page cache, dentries and inodes,
    so that the next run reads from the disk (root only)."""
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w", encoding="ascii") as f:
        f.write("3\n")


def cold_refusal():
    """Why --cold cannot run here, or None."""
    if os.geteuid() != 0:
        return "--cold drops the page cache before every run, which only root can do; run as root or without --cold"
    if not os.access("/proc/sys/vm/drop_caches", os.W_OK):
        return "--cold needs /proc/sys/vm/drop_caches writable, and it is not here"
    return None


COLD = False  # set by --cold: every run starts from an empty page cache


def run_timed(cmd, cwd, stdout_path, stderr_path, timeout, env=None):
    """Runs CMD under /usr/bin/time -v; returns (wall seconds, peak RSS in
    kB or None, exit status, CPU seconds (user + system) or None)."""
    if COLD:
        drop_caches()
    time_file = os.path.join(cwd, ".time-v")
    full = ["/usr/bin/time", "-v", "-o", time_file] + cmd
    with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
        start = time.perf_counter()
        proc = subprocess.Popen(full, cwd=cwd, stdout=out, stderr=err, env=env,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        # A blocking wait: Popen.wait(timeout=...) polls with sleeps of up to
        # 50 ms, which would round every time up to that grain.
        expired = threading.Event()

        def kill():
            expired.set()
            os.killpg(proc.pid, signal.SIGKILL)

        timer = threading.Timer(timeout, kill)
        timer.start()
        try:
            rc = proc.wait()
        finally:
            timer.cancel()
        wall = time.perf_counter() - start
    if expired.is_set():
        raise subprocess.TimeoutExpired(cmd, timeout)
    rss = cpu = None
    try:
        with open(time_file, encoding="utf-8", errors="replace") as f:
            text = f.read()
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)
        if m:
            rss = int(m.group(1))
        user = re.search(r"User time \(seconds\): ([\d.]+)", text)
        system = re.search(r"System time \(seconds\): ([\d.]+)", text)
        if user and system:
            cpu = float(user.group(1)) + float(system.group(1))
    except OSError:
        pass
    return wall, rss, rc, cpu


def measure(name, cmd, cwd, stdout_path, warmup, reps, timeout):
    stderr_path = os.path.join(cwd, "stderr.txt")
    walls, rsss, rcs, cpus = [], [], [], []
    try:
        for _ in range(warmup):
            run_timed(cmd, cwd, stdout_path, stderr_path, timeout)
        for _ in range(reps):
            wall, rss, rc, cpu = run_timed(cmd, cwd, stdout_path, stderr_path, timeout)
            walls.append(wall)
            rcs.append(rc)
            if rss is not None:
                rsss.append(rss)
            if cpu is not None:
                cpus.append(cpu)
    except subprocess.TimeoutExpired:
        log("  %s: timed out after %d s" % (name, timeout))
        return {"error": "timed out after %d s" % timeout}
    result = {
        "runs": walls,
        "median": statistics.median(walls),
        "rss_kb": max(rsss) if rsss else None,
        "cpu": statistics.median(cpus) if cpus else None,
        "rc": max(rcs, key=abs),
    }
    if result["rc"] != 0:
        with open(stderr_path, encoding="utf-8", errors="replace") as f:
            tail = f.read()[-300:].strip()
        result["error"] = "exit status %d: %s" % (result["rc"], tail)
    log("  %-22s %s s%s" % (name, " ".join("%.3f" % w for w in walls),
                            "  (%s)" % result["error"] if "error" in result else ""))
    return result


def arg_space(cmd, env=None):
    """The bytes that exec takes for CMD and the environment: every string
    with its terminating zero and its pointer."""
    env = os.environ if env is None else env
    strings = [os.fsencode(a) for a in cmd] + [os.fsencode(k) + b"=" + os.fsencode(v) for k, v in env.items()]
    return sum(len(x) + 1 + 8 for x in strings) + 16


def measure_entries(path, scan, work, kormial, args):
    """kormial-cli with the tree followed by every folder below it, each its
    own search entry, in one process: the list goes straight to exec (xargs
    would split it over several runs).  It has to fit the kernel's room for
    arguments and environment, which SC_ARG_MAX gives."""
    cmd = tool_command("kormial", path, work, kormial, args) + sorted(scan.folders)
    need = arg_space(["/usr/bin/time", "-v", "-o", os.path.join(work, ".time-v")] + cmd)
    info = {"entries": 1 + len(scan.folders), "arg_bytes": need, "arg_max": os.sysconf("SC_ARG_MAX")}
    if need > info["arg_max"]:
        info["error"] = ("%s search entries take %s bytes of arguments and environment, more than "
                         "the %s the system allows" % ("{:,}".format(info["entries"]), "{:,}".format(need),
                                                       "{:,}".format(info["arg_max"])))
        log("  %-22s %s" % (LABELS["entries"], info["error"]))
        return info
    result = measure(LABELS["entries"], cmd, work, os.path.join(work, "stdout.txt"),
                     args.warmup, args.reps, args.timeout)
    result.update(info)
    return result


def parse_window(texts):
    """The numbers of one tree from the outputs of `kormial-window-bench
    --json`, one text per process: every timed search's time and their
    median, and the worst stalls over all of them."""
    runs, trees = [], []
    for text in texts:
        doc = json.loads(text)
        found = doc.get("trees") or []
        if len(found) != 1:
            raise ValueError("expected one tree, found %d" % len(found))
        trees.append(found[0])
        runs += found[0].get("runs") or []
    if not runs:
        raise ValueError("no timed search")
    walls = [r["total_s"] for r in runs]
    cpus = [r["cpu_s"] for r in runs]
    last = runs[-1]

    def worst(key, measure):
        return max((r[key] for r in runs), key=lambda g: g[measure])

    return {
        "runs": walls,
        "median": statistics.median(walls),
        "cpu": statistics.median(cpus),
        "completed": all(t.get("completed") for t in trees) and all(r["completed"] for r in runs),
        "files": last["files"],
        "dup_rows": last["dup_rows"],
        "dup_groups": last["dup_groups"],
        "read_errors": last["read_errors"],
        "same_rows": len({(r["dup_rows"], r["dup_groups"]) for r in runs}) == 1,
        "messages": sum(r["messages"] for r in runs),
        "compare_calls": last["compare_calls"],
        "stall": worst("longest_stall", "s"),
        "outside": worst("longest_outside", "outside_s"),
        "inside": worst("longest_inside", "longest_call_s"),
    }


def measure_window(bench, tree, work, args):
    """Times the window's search over TREE the way kormial-cli is timed: one
    search per process (a process's first search is the one a user waits
    for, and later ones in the same process run faster), warm-up processes
    first, on the offscreen platform.  The last search's lists go to
    rows.tsv for the check."""
    rows = os.path.join(work, "rows.tsv")
    cmd = [bench, "--json", "--rows", rows, tree]
    stderr_path = os.path.join(work, "stderr.txt")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    texts, walls, rsss, rcs = [], [], [], []
    try:
        for n in range(args.warmup + args.reps):
            stdout_path = os.path.join(work, "stdout-%d.json" % n)
            wall, rss, rc, _ = run_timed(cmd, work, stdout_path, stderr_path, args.timeout, env)
            rcs.append(rc)
            if n < args.warmup:
                continue
            walls.append(wall)
            if rss is not None:
                rsss.append(rss)
            texts.append(read_text(stdout_path))
    except subprocess.TimeoutExpired:
        log("  %s: timed out after %d s" % (LABELS["window"], args.timeout))
        return {"error": "timed out after %d s" % args.timeout}
    result = {"process_runs": walls, "rss_kb": max(rsss) if rsss else None,
              "rc": max(rcs, key=abs), "rows_file": rows}
    try:
        result.update(parse_window(texts))
    except (OSError, ValueError, KeyError, TypeError) as exc:
        result["error"] = "could not read its output: %s" % exc
    if result["rc"] != 0 or not result.get("completed", True):
        with open(stderr_path, encoding="utf-8", errors="replace") as f:
            tail = f.read()[-300:].strip()
        result["error"] = "exit status %d: %s" % (result["rc"], tail)
    elif not result.get("same_rows", True):
        result["error"] = "the searches did not all list the same rows"
    if "median" in result:
        log("  %-22s %s s; stalls: outside reading %.3f s, longest reading %.3f s%s"
            % (LABELS["window"], " ".join("%.3f" % w for w in result["runs"]),
               result["outside"]["outside_s"], result["inside"]["longest_call_s"],
               "  (%s)" % result["error"] if "error" in result else ""))
    else:
        log("  %-22s failed: %s" % (LABELS["window"], result["error"]))
    return result


def check_window(window, cli_work, scan):
    """Whether the window listed the same duplicates as kormial-cli: the same
    number of rows, and the same groups of files."""
    cli_raw = parse_kormial(cli_work)
    win_raw = parse_kormial(os.path.dirname(window["rows_file"]), os.path.basename(window["rows_file"]))
    cli_rows = sum(len(g) for g in cli_raw)
    win_rows = sum(len(g) for g in win_raw)
    cli_groups = canonical(cli_raw, scan)[0]
    win_groups = canonical(win_raw, scan)[0]
    problems = []
    if win_rows != cli_rows or window["dup_rows"] != cli_rows:
        problems.append("%s in the window, %s from kormial-cli"
                        % (plural(window["dup_rows"], "duplicate row"), "{:,}".format(cli_rows)))
        if win_rows != window["dup_rows"]:
            problems.append("%s written by the window" % plural(win_rows, "row"))
    if win_groups != cli_groups:
        problems.append("%s only kormial-cli found, %s only the window found"
                        % (plural(len(cli_groups - win_groups), "group"),
                           plural(len(win_groups - cli_groups), "group")))
    if problems:
        return False, "MISMATCH: " + "; ".join(problems)
    return True, "%s in %s, same as kormial-cli" % (plural(win_rows, "duplicate row"),
                                                    plural(window["dup_groups"], "group"))


# ---------------------------------------------------------------- tree scan

class Scan:
    """The regular files below ROOT as Kormial sees them: symbolic links not
    followed, only regular files, hidden names included."""

    def __init__(self, root):
        self.root = root
        self.files = {}          # path -> (identity, size, hidden)
        self.visible = {}        # identity -> has a name without a leading dot
        self.name_of = {}        # identity -> first path met
        self.folders = []        # every folder below ROOT, not through symlinks
        stack = [(root, False)]
        while stack:
            folder, hidden = stack.pop()
            try:
                it = os.scandir(folder)
            except OSError:
                continue
            with it:
                for entry in it:
                    h = hidden or entry.name.startswith(".")
                    try:
                        if entry.is_dir(follow_symlinks=False):
                            stack.append((entry.path, h))
                            self.folders.append(entry.path)
                            continue
                        if not entry.is_file(follow_symlinks=False):
                            continue
                        st = entry.stat(follow_symlinks=False)
                    except OSError:
                        continue
                    ident = (st.st_dev, st.st_ino)
                    self.files[entry.path] = (ident, st.st_size, h)
                    self.visible[ident] = self.visible.get(ident, False) or not h
                    self.name_of.setdefault(ident, entry.path)
        self.inodes = len(self.visible)
        self.names = len(self.files)

    def read_once_set(self):
        """One name per file for every non-empty file that shares its size
        with another file: what any exact finder has to read."""
        by_size = collections.defaultdict(list)
        seen = set()
        for path in sorted(self.files):
            ident, size, _ = self.files[path]
            if size > 0 and ident not in seen:
                seen.add(ident)
                by_size[size].append(path)
        out = [p for paths in by_size.values() if len(paths) > 1 for p in paths]
        out.sort()
        return out, sum(self.files[p][1] for p in out)

    def classify_unknown(self, path):
        """Why PATH, listed by a tool, is not among the regular files."""
        if os.path.islink(path):
            return "symlink"
        folder = os.path.dirname(path)
        while len(folder) > len(self.root):
            if os.path.islink(folder):
                return "symlink"
            folder = os.path.dirname(folder)
        if not os.path.lexists(path):
            return "missing"
        if not os.path.isfile(path):
            return "special"
        return "outside"


# ---------------------------------------------------------------- parsers

def read_text(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "surrogateescape")


def unescape_tsv(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}.get(nxt, "\\" + nxt))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def parse_kormial(work, name="stdout.txt"):
    groups = collections.defaultdict(list)
    for line in read_text(os.path.join(work, name)).split("\n"):
        fields = line.split("\t")
        if len(fields) != 6 or fields[0] != "1":
            continue
        groups[fields[1]].append(unescape_tsv(fields[4]) + unescape_tsv(fields[5]))
    return list(groups.values())


def parse_blocks(work):
    """fdupes and jdupes: one path a line, groups separated by empty lines."""
    groups, cur = [], []
    for line in read_text(os.path.join(work, "stdout.txt")).split("\n"):
        if line.startswith("/"):
            cur.append(line)
        elif not line.strip():
            if cur:
                groups.append(cur)
            cur = []
    if cur:
        groups.append(cur)
    return groups


def parse_rdfind(work):
    groups = collections.defaultdict(list)
    for line in read_text(os.path.join(work, "results.txt")).split("\n"):
        if not line or line.startswith("#"):
            continue
        fields = line.split(" ", 7)
        if len(fields) == 8 and fields[0].startswith("DUPTYPE_"):
            groups[abs(int(fields[1]))].append(fields[7])
    return list(groups.values())


def parse_rmlint(work):
    groups = collections.defaultdict(list)
    for item in json.loads(read_text(os.path.join(work, "rmlint.json"))):
        if item.get("type") == "duplicate_file":
            groups[(item.get("size"), item.get("checksum"))].append(item["path"])
    return list(groups.values())


DUFF_HEADER = re.compile(r"^\d+ files in cluster \d+ \(")


def parse_duff(work):
    groups, cur = [], None
    for line in read_text(os.path.join(work, "stdout.txt")).split("\n"):
        if DUFF_HEADER.match(line):
            cur = []
            groups.append(cur)
        elif line.startswith("/") and cur is not None:
            cur.append(line)
    return groups


PARSERS = {"kormial": parse_kormial, "fdupes": parse_blocks, "jdupes": parse_blocks,
           "rdfind": parse_rdfind, "rmlint": parse_rmlint, "duff": parse_duff,
           "entries": parse_kormial}


# ---------------------------------------------------------------- comparison

def canonical(raw_groups, scan):
    """Reduces listed groups to sets of files (device, inode): empty files,
    symbolic links and extra names of one file are taken out and counted."""
    notes = collections.Counter()
    groups = set()
    for group in raw_groups:
        members, names = set(), 0
        for path in group:
            path = os.path.normpath(path)
            info = scan.files.get(path)
            if info is None:
                notes[scan.classify_unknown(path)] += 1
                continue
            ident, size, _ = info
            if size == 0:
                notes["empty"] += 1
                continue
            names += 1
            members.add(ident)
        notes["hardlink"] += names - len(members)
        if len(members) >= 2:
            groups.add(frozenset(members))
    return groups, notes


def manifest_groups(manifest, scan):
    groups, missing = set(), 0
    for group in manifest["groups"]:
        members = set()
        for rel in group:
            info = scan.files.get(os.path.join(scan.root, rel))
            if info is None:
                missing += 1
            else:
                members.add(info[0])
        if len(members) >= 2:
            groups.add(frozenset(members))
    return groups, missing


def restrict_visible(groups, scan):
    out = set()
    for g in groups:
        kept = frozenset(i for i in g if scan.visible.get(i))
        if len(kept) >= 2:
            out.add(kept)
    return out


def compare(tool, got, notes, reference, scan):
    """Returns (ok, explanation)."""
    expected = reference
    parts = []
    if notes["empty"]:
        parts.append("%s listed (zero size for Kormial)" % plural(notes["empty"], "empty file"))
    if notes["hardlink"]:
        parts.append("%s listed (Kormial: one name a file)"
                     % plural(notes["hardlink"], "extra hard-link name"))
    if notes["symlink"]:
        parts.append("%s listed" % plural(notes["symlink"], "symbolic link"))
    if notes["special"]:
        parts.append("%s listed" % plural(notes["special"], "non-regular file"))
    if not RULES[tool]["hidden"]:
        expected = restrict_visible(reference, scan)
        hidden = sum(1 for g in reference for i in g if not scan.visible.get(i))
        if hidden:
            parts.append("skips hidden names: %s, %s fewer"
                         % (plural(hidden, "hidden file"), plural(len(reference) - len(expected), "group")))
    unknown = notes["missing"] + notes["outside"]
    if unknown:
        parts.append("%s not files of the tree" % plural(unknown, "listed path"))
    missing = expected - got
    extra = got - expected
    ok = not missing and not extra and not unknown
    if ok:
        head = "same groups"
    else:
        head = "MISMATCH: %s missing, %s not in the reference" % (
            plural(len(missing), "group"), plural(len(extra), "group"))
        for label, sample in (("missing", missing), ("extra", extra)):
            for g in sorted(sample, key=lambda s: sorted(scan.name_of[i] for i in s))[:3]:
                names = sorted(os.path.relpath(scan.name_of[i], scan.root) for i in g)
                parts.append("%s group: %s" % (label, ", ".join(names[:4]) + (" ..." if len(names) > 4 else "")))
    return ok, head + ("; " + "; ".join(parts) if parts else "")


# ---------------------------------------------------------------- set-up

def rotational(path):
    """Whether the disk under PATH says it is rotational (None: unknown)."""
    try:
        dev = os.stat(path).st_dev
    except OSError:
        return None
    base = "/sys/dev/block/%d:%d" % (os.major(dev), os.minor(dev))
    for flag in (base + "/queue/rotational", base + "/../queue/rotational"):
        try:
            with open(flag, encoding="ascii") as f:
                return f.read().strip() == "1"
        except OSError:
            continue
    return None


def build_reader(scratch, use_cat):
    """The read-once commands for a list file, on one thread and with
    PARALLEL_READERS readers: bench/readonce.c compiled, or cat through xargs
    (-P for the readers) when asked to or when no C compiler is there."""
    if not use_cat:
        src = os.path.join(BENCH, "readonce.c")
        exe = os.path.join(scratch, "readonce")
        for cc in ("cc", "gcc", "clang"):
            if shutil.which(cc):
                r = subprocess.run([cc, "-O2", "-pthread", "-o", exe, src], capture_output=True, text=True)
                if r.returncode == 0:
                    return ((lambda lst: [exe, lst]), (lambda lst: [exe, "-j", str(PARALLEL_READERS), lst]),
                            "bench/readonce.c (open, read into one 1 MiB buffer, close; %d readers for the "
                            "parallel reference)" % PARALLEL_READERS)
                log("could not compile readonce.c with %s: %s" % (cc, r.stderr.strip()[-300:]))
                break
        log("falling back to cat for the read-once references")
    return ((lambda lst: ["xargs", "-0", "-r", "-a", lst, "cat"]),
            (lambda lst: ["xargs", "-0", "-r", "-n", "256", "-P", str(PARALLEL_READERS), "-a", lst, "cat"]),
            "xargs -0 cat")


def wait_idle(limit, longest):
    """Waits until the one-minute load average drops to LIMIT, at most
    LONGEST seconds."""
    if limit is None:
        return
    deadline = time.monotonic() + longest
    said = False
    while os.getloadavg()[0] > limit and time.monotonic() < deadline:
        if not said:
            log("waiting for the load average (%.2f) to drop to %.2f ..." % (os.getloadavg()[0], limit))
            said = True
        time.sleep(5)


def find_kormial(given):
    for cand in (given, os.environ.get("KORMIAL_CLI"),
                 os.path.join(REPO, "build", "kormial-cli")):
        if cand and os.path.isfile(cand) and os.access(cand, os.X_OK):
            return os.path.abspath(cand)
    if given:
        return None
    builds = sorted((p for p in (os.path.join(REPO, d, "kormial-cli") for d in os.listdir(REPO)
                                 if d.startswith("build"))
                     if os.path.isfile(p)), key=os.path.getmtime, reverse=True)
    return builds[0] if builds else None


def find_window_bench(given, kormial):
    """kormial-window-bench: the one given, $KORMIAL_WINDOW_BENCH, the one
    beside the kormial-cli being timed (the same build), build/, else the
    newest build*/."""
    name = "kormial-window-bench"
    beside = os.path.join(os.path.dirname(kormial), name) if kormial else None
    for cand in (given, os.environ.get("KORMIAL_WINDOW_BENCH"), beside, os.path.join(REPO, "build", name)):
        if cand and os.path.isfile(cand) and os.access(cand, os.X_OK):
            return os.path.abspath(cand)
    if given:
        return None
    builds = sorted((p for p in (os.path.join(REPO, d, name) for d in os.listdir(REPO)
                                 if d.startswith("build"))
                     if os.path.isfile(p)), key=os.path.getmtime, reverse=True)
    return builds[0] if builds else None


def ensure_installed(tools, allow_install):
    """Installs missing peers and GNU time with apt-get; returns the tools
    that can run."""
    missing = [PACKAGES[t] for t in tools if t in PACKAGES and not shutil.which(t)]
    if not os.path.exists("/usr/bin/time"):
        missing.append("time")
    if missing and allow_install:
        log("installing with apt-get: " + " ".join(missing))
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        cmd = ["apt-get", "install", "-y", "-q", "--no-install-recommends"] + missing
        if os.geteuid() != 0 and shutil.which("sudo"):
            cmd = ["sudo", "-E"] + cmd
        if subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL).returncode != 0:
            update = ["apt-get", "update", "-q"]
            if cmd[0] == "sudo":
                update = ["sudo"] + update
            subprocess.run(update, env=env, stdout=subprocess.DEVNULL)
            subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL)
    if not os.path.exists("/usr/bin/time"):
        sys.exit("run.py: /usr/bin/time (Debian package \"time\") is needed")
    usable = []
    for t in tools:
        if t in PACKAGES and not shutil.which(t):
            log("skipping %s: not installed" % t)
        else:
            usable.append(t)
    return usable


def versions(tools, kormial):
    out = {}
    for t in tools:
        if t == "kormial":
            rev = subprocess.run(["git", "-C", REPO, "rev-parse", "--short", "HEAD"],
                                 capture_output=True, text=True).stdout.strip()
            out[t] = "%s (%s)" % (kormial, rev or "?")
            continue
        r = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", PACKAGES[t]],
                           capture_output=True, text=True)
        out[t] = r.stdout.strip() or "?"
    return out


def machine():
    cpu = "?"
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            m = re.search(r"model name\s*:\s*(.*)", f.read())
            cpu = m.group(1).strip() if m else cpu
    except OSError:
        pass
    mem = 0
    try:
        with open("/proc/meminfo", encoding="utf-8") as f:
            mem = int(re.search(r"MemTotal:\s*(\d+)", f.read()).group(1)) // 1024
    except (OSError, AttributeError):
        pass
    return "%s, %d cores, %d MiB RAM, Linux %s" % (cpu, os.cpu_count() or 0, mem, platform.release())


def resolve_trees(names, args):
    """(name, path, manifest or None) for every requested tree."""
    out = []
    for name in names:
        if name in gen_corpus.TREES:
            label = gen_corpus.size_label(args.size, args.scale)
            if args.no_generate:
                path = gen_corpus.tree_path(args.corpus, label, name)
                manifest = gen_corpus.load_manifest(args.corpus, label, name)
                if manifest is None or not os.path.isdir(path):
                    sys.exit("run.py: %s is not generated (run gen_corpus.py --size %s %s)"
                             % (path, args.size, name))
            else:
                path, manifest = gen_corpus.ensure(args.corpus, name, args.size, args.scale, args.seed)
            out.append((name, path, manifest))
        else:
            path = PATH_TREES.get(name, name)
            if not os.path.isdir(path):
                sys.exit("run.py: %r is neither a tree name (%s, usr) nor a folder"
                         % (name, ", ".join(gen_corpus.TREES)))
            path = os.path.abspath(path)
            out.append((name if name in PATH_TREES else path, path, None))
    return out


# ---------------------------------------------------------------- output

def fmt_s(v):
    return "-" if v is None else ("%.3f s" % v if v < 10 else "%.2f s" % v)


def fmt_mb(kb):
    return "-" if kb is None else "%.1f MB" % (kb / 1024)


def fmt_bytes(n):
    return "%.2f GB" % (n / 1e9) if n >= 1e9 else "%.1f MB" % (n / 1e6)


def plural(n, word):
    return "%s %s%s" % ("{:,}".format(n), word, "" if n == 1 else "s")


def fmt_ratio(a, b):
    return "-" if a is None or not b else "%.2f" % (a / b)


def tree_table(tr):
    res = tr["results"]
    jd = res.get("jdupes", {})
    rows = [("tool", "median", "min-max", "peak RSS", "x jdupes", "RSS x jd", "groups", "files", "check")]
    for key in ("kormial", "entries") + PEERS + ("walk", "read", "read4"):
        r = res.get(key)
        if r is None:
            continue
        if "median" not in r:
            rows.append((LABELS[key], "failed", "", "", "", "", "", "", r.get("error", "")))
            continue
        chk = r.get("check", {})
        rows.append((
            LABELS[key], fmt_s(r["median"]),
            "%.3f-%.3f" % (min(r["runs"]), max(r["runs"])),
            fmt_mb(r["rss_kb"]) if key not in REFERENCES else "",
            fmt_ratio(r["median"], jd.get("median")),
            fmt_ratio(r["rss_kb"], jd.get("rss_kb")) if key not in REFERENCES else "",
            "{:,}".format(chk["groups"]) if chk else "",
            "{:,}".format(chk["files"]) if chk else "",
            ("ok" if chk["ok"] else "MISMATCH") if chk else ("" if key in REFERENCES else r.get("error", "")),
        ))
    widths = [max(len(str(row[i])) for row in rows) for i in range(len(rows[0]))]
    lines = []
    for n, row in enumerate(rows):
        cells = [str(c).ljust(w) if i in (0, 8) else str(c).rjust(w)
                 for i, (c, w) in enumerate(zip(row, widths))]
        lines.append("  " + "  ".join(cells).rstrip())
        if n == 0:
            lines.append("  " + "  ".join("-" * w for w in widths))
    return lines


def limit_ratio(res, reader):
    """kormial-cli's median over the walk's plus READER's ("read" or
    "read4"), or None."""
    if not all("median" in res.get(k, {}) for k in ("kormial", "walk", reader)):
        return None
    return res["kormial"]["median"] / (res["walk"]["median"] + res[reader]["median"])


def per_file_us(res, tool, files):
    """TOOL's median time per file in microseconds, or None."""
    r = res.get(tool, {})
    return r["median"] / files * 1e6 if "median" in r and files else None


def scaling_pair(trees):
    """The trees of about 100,000 and 1,000,000 files (within 10 %), if the
    run has both: the cost per file is compared between them."""
    def near(n):
        return next((tr for tr in trees if abs(tr["names"] - n) <= n // 10
                     and "median" in tr["results"].get("kormial", {})), None)
    small, large = near(100000), near(1000000)
    return (small, large) if small and large else None


def limit_lines(tr, cold):
    """The lines under a tree's table: kormial-cli against the limit, and
    its cost per file."""
    res = tr["results"]
    out = []
    for reader in ("read", "read4"):
        r = limit_ratio(res, reader)
        if r is not None:
            out.append("  kormial-cli / (walk + %s) = %.2f" % (LABELS[reader], r))
    us = per_file_us(res, "kormial", tr["names"])
    if us is not None:
        out.append("  kormial-cli: %.1f us per file (%s)" % (us, "cold" if cold else "warm"))
    return out


def cost_table(trees, tools):
    """Each tool's time per file on every tree, in microseconds."""
    head = ["tree", "files"] + [LABELS[t] for t in tools]
    lines = ["| " + " | ".join(head) + " |", "|---|" + "---:|" * (len(tools) + 1)]
    for tr in trees:
        cells = [tr["label"], "{:,}".format(tr["names"])]
        for t in tools:
            us = per_file_us(tr["results"], t, tr["names"])
            cells.append("-" if us is None else "%.1f us" % us)
        lines.append("| " + " | ".join(cells) + " |")
    return lines


# The window is looked at more closely when it is this much slower than
# kormial-cli, or when its event loop goes this long unserved outside the
# comparisons' reading (the grouped comparison does not yield by design).
WINDOW_SLOW_RATIO = 1.2
WINDOW_STALL_S = 0.1


def window_flags(win, cli_median):
    flags = []
    if cli_median and win["median"] / cli_median > WINDOW_SLOW_RATIO:
        flags.append("over %.1fx kormial-cli" % WINDOW_SLOW_RATIO)
    if win["outside"]["outside_s"] > WINDOW_STALL_S:
        flags.append("stall over %d ms outside reading" % round(WINDOW_STALL_S * 1000))
    return flags


def window_lines(tr):
    """The window's line under a tree's table."""
    win = tr["results"].get("window")
    if win is None:
        return []
    if "median" not in win:
        return ["  window:  failed: %s" % win.get("error", "?")]
    k = tr["results"].get("kormial", {})
    cli = k.get("median")
    out, ins, stall = win["outside"], win["inside"], win["stall"]
    lines = ["  window:  %s (%.3f-%.3f), %s x kormial-cli; CPU %s, %s x kormial-cli's%s"
             % (fmt_s(win["median"]), min(win["runs"]), max(win["runs"]), fmt_ratio(win["median"], cli),
                fmt_s(win["cpu"]), fmt_ratio(win["cpu"], k.get("cpu")),
                "".join("; " + f.upper() for f in window_flags(win, cli)))]
    lines.append("           longest stall %s (CPU %s) at %.2f s (%s)"
                 % (fmt_s(stall["s"]), fmt_s(stall["cpu_s"]), stall["at_s"], stall["phase"]))
    lines.append("           outside reading %s (CPU %s) at %.2f s (%s)"
                 % (fmt_s(out["outside_s"]), fmt_s(out["cpu_s"]), out["at_s"], out["phase"]))
    lines.append("           longest reading %s" % fmt_s(ins["longest_call_s"]))
    if win.get("messages"):
        lines.append("           %s answered" % plural(win["messages"], "message box"))
    if "error" in win:
        lines.append("           %s" % win["error"])
    chk = win.get("check")
    if chk:
        lines.append("           rows: %s" % chk["text"])
    return lines


def window_table(trees):
    head = ["tree", "kormial-cli", "window", "x cli", "CPU x cli", "longest stall", "outside reading",
            "longest reading", "rows"]
    lines = ["| " + " | ".join(head) + " |", "|---|" + "---:|" * 7 + "---|"]
    for tr in trees:
        res = tr["results"]
        win = res.get("window", {})
        k = res.get("kormial", {})
        cli = k.get("median")
        if "median" not in win:
            lines.append("| %s | %s | failed | - | - | - | - | - | - |" % (tr["label"], fmt_s(cli)))
            continue
        chk = win.get("check")
        lines.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            tr["label"], fmt_s(cli), fmt_s(win["median"]), fmt_ratio(win["median"], cli),
            fmt_ratio(win["cpu"], k.get("cpu")),
            fmt_s(win["stall"]["s"]), fmt_s(win["outside"]["outside_s"]),
            fmt_s(win["inside"]["longest_call_s"]),
            ("same" if chk["ok"] else "MISMATCH") if chk else "-"))
    return lines


def summary_tables(trees, tools):
    cols = list(tools) + list(REFERENCES)
    head = ["tree", "files"] + [LABELS[c] for c in cols]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * 2 + "---:|" * len(cols)]
    for tr in trees:
        cells = [tr["label"], "{:,}".format(tr["names"])]
        for c in cols:
            r = tr["results"].get(c, {})
            cells.append(fmt_s(r.get("median")) if "median" in r else "-")
        lines.append("| " + " | ".join(cells) + " |")
    lines.append("")
    head = ["tree"] + [LABELS[c] for c in tools]
    lines += ["Peak RSS:", "", "| " + " | ".join(head) + " |", "|---|" + "---:|" * len(tools)]
    for tr in trees:
        cells = [tr["label"]]
        for c in tools:
            r = tr["results"].get(c, {})
            cells.append(fmt_mb(r.get("rss_kb")) if "median" in r else "-")
        lines.append("| " + " | ".join(cells) + " |")
    return lines


def entries_lines(tr):
    """kormial-cli with every folder as its own entry against the tree alone."""
    e, k = tr["results"].get("entries"), tr["results"].get("kormial", {})
    if not e or "arg_bytes" not in e:
        return []
    room = "%s entries, %s bytes of arguments and environment (the system allows %s)" % (
        "{:,}".format(e["entries"]), "{:,}".format(e["arg_bytes"]), "{:,}".format(e["arg_max"]))
    if "median" not in e or "median" not in k:
        return ["  every folder an entry: " + room]
    return ["  every folder an entry / the tree alone: %s x the time (target <= %.2f), %s x the peak RSS; %s"
            % (fmt_ratio(e["median"], k["median"]), ENTRIES_TARGET, fmt_ratio(e["rss_kb"], k["rss_kb"]), room)]


def target_lines(trees):
    """Kormial's standing against the speed targets, for full-size trees."""
    out = []
    for tr in trees:
        res = tr["results"]
        k = res.get("kormial", {})
        if "median" not in k:
            continue
        name = tr["name"]
        jd = res.get("jdupes", {})
        if name in FAST_TREES and "median" in jd:
            r = k["median"] / jd["median"]
            out.append("%-17s time / jdupes = %.3f (target <= 0.70) %s" % (name, r, "met" if r <= 0.7 else "MISSED"))
        if name == "samesize":
            peers = [res[p]["median"] for p in PEERS if "median" in res.get(p, {})]
            if peers:
                r = k["median"] / min(peers)
                out.append("%-17s time / fastest peer = %.3f (target <= 1.00) %s"
                           % (name, r, "met" if r <= 1 else "MISSED"))
            rd = res.get("read", {})
            if "median" in rd and rd["median"] > 0:
                r = k["median"] / rd["median"]
                out.append("%-17s time / read-once = %.3f (target <= 2.00) %s"
                           % (name, r, "met" if r <= 2 else "MISSED"))
        if name in SAME_SIZE_TREES:
            peers = [res[p]["median"] for p in SAME_SIZE_PEERS if "median" in res.get(p, {})]
            if peers:
                r = k["median"] / min(peers)
                out.append("%-17s time / faster of %s = %.3f (target <= 1.00) %s"
                           % (name, " and ".join(SAME_SIZE_PEERS), r, "met" if r <= 1 else "MISSED"))
        e = res.get("entries", {})
        if name == ENTRIES_TREE and "median" in e:
            r = e["median"] / k["median"]
            out.append("%-17s time with every folder an entry / the tree alone = %.3f (target <= %.2f) %s"
                       % (name, r, ENTRIES_TARGET, "met" if r <= ENTRIES_TARGET else "MISSED"))
        if name in BOUND_TREES and "median" in res.get("walk", {}) and "median" in res.get("read", {}):
            r = k["median"] / (res["walk"]["median"] + res["read"]["median"])
            out.append("%-17s time / (walk + read-once) = %.3f (target <= 1.30) %s"
                       % (name, r, "met" if r <= 1.3 else "MISSED"))
        if name in RSS_TARGETS and jd.get("rss_kb") and k.get("rss_kb"):
            r, limit = k["rss_kb"] / jd["rss_kb"], RSS_TARGETS[name]
            out.append("%-17s peak RSS / jdupes = %.3f (target <= %.2f) %s"
                       % (name, r, limit, "met" if r <= limit else "MISSED"))
    return out


def limit_target_lines(trees, cold, full):
    """kormial-cli against the limit on the trees that set it (warm: the walk
    plus one reader; cold: the walk plus 4 readers, and every peer), and the
    cost per file at 1,000,000 files against 100,000."""
    out = []
    reader, limit = ("read4", LIMIT_COLD) if cold else ("read", LIMIT_WARM)
    for tr in trees:
        res, name = tr["results"], tr["name"]
        r = limit_ratio(res, reader)
        if full and name in LIMIT_TREES and r is not None:
            out.append("%-17s %s: time / (walk + %s) = %.3f (target <= %.2f) %s"
                       % (name, "cold" if cold else "warm", LABELS[reader], r, limit,
                          "met" if r <= limit else "MISSED"))
        if full and cold and name in LIMIT_TREES and "median" in res.get("kormial", {}):
            for peer in PEERS:
                if "median" in res.get(peer, {}):
                    r = res["kormial"]["median"] / res[peer]["median"]
                    out.append("%-17s cold: time / %s = %.3f (target <= %.2f) %s"
                               % (name, peer, r, PEERS_COLD, "met" if r <= PEERS_COLD else "MISSED"))
    pair = scaling_pair(trees)
    if pair:
        small, large = pair
        r = (per_file_us(large["results"], "kormial", large["names"])
             / per_file_us(small["results"], "kormial", small["names"]))
        out.append("%-17s time per file at %s files / at %s = %.3f (target <= %.2f) %s"
                   % ("scaling", "{:,}".format(large["names"]), "{:,}".format(small["names"]), r,
                      SCALING_TARGET, "met" if r <= SCALING_TARGET else "MISSED"))
    return out


# ---------------------------------------------------------------- main

def checked_tools(tr):
    """The tools of a tree whose groups are checked: kormial-cli with every
    folder as an entry too, on the entries tree."""
    return tr["tools"] + (["entries"] if "entries" in tr["results"] else [])


def bench_tree(name, path, manifest, tools, args, kormial, scratch, reader):
    wait_idle(args.idle, args.idle_wait)
    load = os.getloadavg()[0]
    log("[%s] scanning %s (load average %.2f)" % (name, path, load))
    scan = Scan(path)
    tr = {"name": name, "path": path, "names": scan.names, "inodes": scan.inodes, "tools": list(tools),
          "label": name if manifest is None else "%s (%s)" % (name, manifest["size"]),
          "results": {}, "load": load, "rotational": rotational(path)}
    read_list, read_bytes = scan.read_once_set()
    tr["bytes"] = sum({ident: size for ident, size, _ in scan.files.values()}.values())
    tr["read_files"], tr["read_bytes"] = len(read_list), read_bytes
    work = tempfile.mkdtemp(prefix=name.strip("/").replace("/", "_") + "-", dir=scratch)
    list_file = os.path.join(work, "read-once.list")
    with open(list_file, "wb") as f:
        f.write(b"".join(os.fsencode(p) + b"\0" for p in read_list))

    log("[%s] %d files, %.1f MB; timing (%d warm-up, %d runs)"
        % (name, scan.names, tr["bytes"] / 1e6, args.warmup, args.reps))
    res = tr["results"]
    res["walk"] = measure("walk", ["find", path, "-type", "f"], work, os.devnull,
                          args.warmup, args.reps, args.timeout)
    res["read"] = measure("read-once", reader[0](list_file), work,
                          os.devnull, args.warmup, args.reps, args.timeout)
    res["read4"] = measure(LABELS["read4"], reader[1](list_file), work,
                           os.devnull, args.warmup, args.reps, args.timeout)
    for tool in tools:
        tool_work = os.path.join(work, tool)
        os.makedirs(tool_work)
        res[tool] = measure(tool, tool_command(tool, path, tool_work, kormial, args), tool_work,
                            os.path.join(tool_work, "stdout.txt"), args.warmup, args.reps,
                            args.timeout)
        res[tool]["work"] = tool_work
        if tool == "kormial" and args.window:
            # Right after kormial-cli, on the same warm page cache.
            window_work = os.path.join(work, "window")
            os.makedirs(window_work)
            res["window"] = measure_window(args.window_bench, path, window_work, args)
        if tool == "kormial" and name == ENTRIES_TREE:
            entries_work = os.path.join(work, "entries")
            os.makedirs(entries_work)
            res["entries"] = measure_entries(path, scan, entries_work, kormial, args)
            res["entries"]["work"] = entries_work

    if args.no_check:
        return tr
    if manifest is not None:
        reference, missing = manifest_groups(manifest, scan)
        if missing:
            log("[%s] warning: %d recorded files are gone; regenerate with --force" % (name, missing))
        tr["reference"] = "the generator's record"
    elif "median" in res.get("kormial", {}):
        reference = None
        tr["reference"] = "kormial-cli"
    else:
        reference = None
        tr["reference"] = None
    parsed = {}
    for tool in checked_tools(tr):
        r = res[tool]
        if "median" not in r:
            continue
        try:
            parsed[tool] = canonical(PARSERS[tool](r["work"]), scan)
        except (OSError, ValueError, KeyError) as exc:
            r["check"] = {"ok": False, "groups": 0, "files": 0,
                          "text": "could not read the output: %s" % exc}
    if reference is None and parsed:
        first = "kormial" if "kormial" in parsed else next(iter(parsed))
        tr["reference"] = LABELS[first]
        reference = parsed[first][0]
    for tool, (groups, notes) in parsed.items():
        ok, text = compare(tool, groups, notes, reference, scan)
        res[tool]["check"] = {"ok": ok, "groups": len(groups),
                              "files": sum(len(g) for g in groups), "text": text}
    win = res.get("window")
    if win and "median" in win and "median" in res.get("kormial", {}):
        try:
            ok, text = check_window(win, res["kormial"]["work"], scan)
        except (OSError, ValueError) as exc:
            ok, text = False, "could not compare the rows: %s" % exc
        win["check"] = {"ok": ok, "text": text}
    tr["ref_groups"] = len(reference) if reference is not None else 0
    tr["ref_files"] = sum(len(g) for g in reference) if reference is not None else 0
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return tr


def report(trees, tools, args, kormial, vers, started):
    out = []
    out.append("Duplicate finders on %s" % machine())
    out.append("%s; %s; %d warm-up run(s), median of %d; peak RSS from /usr/bin/time -v"
               % (started.strftime("%Y-%m-%d %H:%M"),
                  "COLD: page cache, dentries and inodes dropped before every run" if args.cold else "warm page cache",
                  args.warmup, args.reps))
    out.append("read-once reader: %s" % args.reader)
    out.append("versions: " + "; ".join("%s %s" % (t, vers[t]) for t in tools))
    if args.window:
        out.append("window: %s, on the offscreen platform, heartbeat every 2 ms" % args.window_bench)
    for tr in trees:
        out.append("")
        out.append("%s: %s, %s, %s; load average %.2f at the start%s"
                   % (tr["label"], tr["path"], plural(tr["names"], "file"), fmt_bytes(tr["bytes"]),
                      tr["load"], " (busy machine: expect noise)" if tr["load"] > 0.5 else ""))
        out.append("  read-once set: %s files, %s; reference groups (%s): %s groups, %s files"
                   % ("{:,}".format(tr["read_files"]), fmt_bytes(tr["read_bytes"]),
                      tr.get("reference") or "none", "{:,}".format(tr.get("ref_groups", 0)),
                      "{:,}".format(tr.get("ref_files", 0))))
        out.extend(tree_table(tr))
        res = tr["results"]
        out.extend(limit_lines(tr, args.cold))
        out.extend(entries_lines(tr))
        for tool in checked_tools(tr):
            chk = res.get(tool, {}).get("check")
            if chk:
                text = chk["text"]
                if tool == "rmlint" and tr["rotational"] and not args.rmlint_without_fiemap:
                    text += ("; the disk says it is rotational, so rmlint maps every file's extents"
                             " and syncs it first (--rmlint-without-fiemap times it without)")
                out.append("  %-8s %s" % ((tool if tool != "entries" else "kormial-cli, every folder") + ":",
                                          text))
        out.extend(window_lines(tr))
    out.append("")
    out.append("Median wall times:")
    out.append("")
    out.extend(summary_tables(trees, tools))
    out += ["", "Time per file:", ""] + cost_table(trees, tools)
    if args.window:
        out += ["", "The window against kormial-cli:", ""] + window_table(trees)
    if "kormial" in tools:
        full = args.size == "full" and args.scale == 1.0
        lines = limit_target_lines(trees, args.cold, full)
        if full and not args.cold:
            lines = target_lines(trees) + lines
        if lines:
            out += ["", "kormial-cli against the speed targets:"] + ["  " + x for x in lines]
    bad = [(tr["label"], LABELS[t] if t == "entries" else t) for tr in trees for t in checked_tools(tr)
           if "median" not in tr["results"].get(t, {}) or not tr["results"][t].get("check", {"ok": True})["ok"]
           or tr["results"][t].get("error")]
    if args.window:
        bad += [(tr["label"], LABELS["window"]) for tr in trees
                if "median" not in tr["results"].get("window", {}) or tr["results"]["window"].get("error")
                or not tr["results"]["window"].get("check", {"ok": True})["ok"]]
    out.append("")
    if args.no_check:
        out.append("Groups were not compared (--no-check).")
    elif bad:
        out.append("PROBLEMS: " + ", ".join("%s on %s" % (t, lbl) for lbl, t in bad))
    else:
        out.append("All tools found the same groups on every tree, once their own rules are accounted for.")
    return out, not bad


def take_lock():
    """Only one benchmark at a time on a machine: two would time each other."""
    path = os.path.join(tempfile.gettempdir(), "kormial-bench.lock")
    f = open(path, "a+")
    try:
        fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        f.seek(0)
        sys.exit("run.py: another benchmark is running (process %s); wait for it to end"
                 % (f.read().strip() or "?"))
    f.seek(0)
    f.truncate()
    f.write(str(os.getpid()))
    f.flush()
    return f


def split_list(text, allowed=None):
    items = [x.strip() for x in text.split(",") if x.strip()]
    if allowed is not None:
        for x in items:
            if x not in allowed:
                raise argparse.ArgumentTypeError("unknown %r (known: %s)" % (x, ", ".join(allowed)))
    return items


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Time kormial-cli and the Debian duplicate finders on seeded trees "
                    "and check that they find the same groups.")
    ap.add_argument("--quick", action="store_true",
                    help="smoke trees (same as --size smoke); about a minute")
    ap.add_argument("--size", choices=("smoke", "full"), default="full",
                    help="tree size (default full)")
    ap.add_argument("--scale", type=float, default=1.0,
                    help="with --size full: scale the generated trees (see gen_corpus.py)")
    ap.add_argument("--trees", type=split_list, default=None,
                    help="comma-separated: %s, usr (/usr) or folder paths; default: %s"
                         % (",".join(gen_corpus.TREES), ",".join(gen_corpus.DEFAULT_TREES)))
    ap.add_argument("--tools", type=lambda s: split_list(s, TOOLS), default=None,
                    help="comma-separated subset of %s (default: all; on %s: %s)"
                         % (",".join(TOOLS), " and ".join(TREE_TOOLS), ",".join(TREE_TOOLS["million"])))
    ap.add_argument("--reps", type=int, default=3, help="timed runs per tool (default 3)")
    ap.add_argument("--warmup", type=int, default=None,
                    help="warm-up runs per tool (default 1; 0 with --cold)")
    ap.add_argument("--cold", action="store_true",
                    help="drop the page cache before every run of every tool and reference (root only)")
    ap.add_argument("--corpus", default=gen_corpus.default_out(),
                    help="corpus folder (default bench/corpus)")
    ap.add_argument("--seed", type=int, default=gen_corpus.DEFAULT_SEED, help="corpus seed")
    ap.add_argument("--kormial", help="kormial-cli to run (default: $KORMIAL_CLI, build/kormial-cli, "
                                      "else the newest build*/kormial-cli)")
    ap.add_argument("--no-install", action="store_true", help="do not apt-get missing peers")
    ap.add_argument("--no-generate", action="store_true", help="fail instead of generating missing trees")
    ap.add_argument("--no-check", action="store_true", help="time only; do not compare groups")
    ap.add_argument("--timeout", type=int, default=1800, help="seconds allowed per run (default 1800)")
    ap.add_argument("--results", default=os.path.join(BENCH, "results"),
                    help="folder for the report and raw numbers (default bench/results)")
    ap.add_argument("--rmlint-without-fiemap", action="store_true",
                    help="run rmlint --without-fiemap (it otherwise syncs and maps every file "
                         "on disks that say they are rotational)")
    ap.add_argument("--cat", action="store_true",
                    help="read-once reference with xargs -0 cat instead of bench/readonce.c")
    ap.add_argument("--idle", type=float, metavar="LOAD",
                    help="before each tree, wait until the 1-minute load average is at most LOAD")
    ap.add_argument("--idle-wait", type=int, default=600, metavar="S",
                    help="wait at most S seconds for --idle (default 600)")
    ap.add_argument("--keep", action="store_true", help="keep the tools' outputs (paths in the JSON)")
    ap.add_argument("--window", action="store_true",
                    help="also time the window's search (kormial-window-bench) after kormial-cli "
                         "and check its duplicate rows against kormial-cli's")
    ap.add_argument("--window-bench", metavar="PATH",
                    help="kormial-window-bench to run (default: $KORMIAL_WINDOW_BENCH, the one beside "
                         "kormial-cli, build/, else the newest build*/)")
    args = ap.parse_args(argv)
    if args.quick:
        args.size = "smoke"
    if args.cold:
        refusal = cold_refusal()
        if refusal:
            ap.error(refusal)
        global COLD
        COLD = True
    if args.warmup is None:
        args.warmup = 0 if args.cold else 1
    if args.rmlint_without_fiemap:
        LABELS["rmlint"] = "rmlint --without-fiemap"
    if args.reps < 1 or args.warmup < 0:
        ap.error("--reps must be at least 1 and --warmup not negative")
    args.corpus = os.path.abspath(args.corpus)
    lock = take_lock()  # noqa: F841  (held until the process ends)
    tree_names = args.trees or list(gen_corpus.DEFAULT_TREES)
    tree_tools = {n: list(args.tools or TREE_TOOLS.get(n, TOOLS)) for n in tree_names}

    tools = [t for t in TOOLS if any(t in ts for ts in tree_tools.values())]
    kormial = None
    if "kormial" in tools:
        kormial = find_kormial(args.kormial)
        if kormial is None:
            sys.exit("run.py: kormial-cli not found; build it (see bench/README.md) or pass --kormial PATH")
    if args.window:
        if kormial is None:
            ap.error("--window compares the window with kormial-cli: keep kormial in --tools")
        args.window_bench = find_window_bench(args.window_bench, kormial)
        if args.window_bench is None:
            sys.exit("run.py: kormial-window-bench not found; build it (see bench/README.md) "
                     "or pass --window-bench PATH")
    tools = ensure_installed(tools, not args.no_install)
    vers = versions(tools, kormial)
    started = datetime.datetime.now()
    trees = resolve_trees(tree_names, args)

    scratch = tempfile.mkdtemp(prefix="kormial-bench-")
    try:
        one, parallel, args.reader = build_reader(scratch, args.cat)
        reader = (one, parallel)
        results = [bench_tree(n, p, m, [t for t in tree_tools[given] if t in tools], args, kormial,
                              scratch, reader)
                   for given, (n, p, m) in zip(tree_names, trees)]
    finally:
        if not args.keep:
            shutil.rmtree(scratch, ignore_errors=True)

    lines, ok = report(results, tools, args, kormial, vers, started)
    text = "\n".join(lines)
    print(text)
    try:
        os.makedirs(args.results, exist_ok=True)
        stem = os.path.join(args.results, started.strftime("bench-%Y%m%d-%H%M%S"))
        with open(stem + ".txt", "w", encoding="utf-8") as f:
            f.write(text + "\n")
        with open(stem + ".json", "w", encoding="utf-8") as f:
            json.dump({"started": started.isoformat(), "machine": machine(), "versions": vers,
                       "args": {k: v for k, v in vars(args).items()}, "trees": results},
                      f, indent=1, default=str)
        log("report written to %s.txt and .json" % stem)
    except OSError as exc:
        log("could not write the report: %s" % exc)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
