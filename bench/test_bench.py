#!/usr/bin/env python3
"""Checks of the benchmark's own parts: the generator's trees and records,
the output parsers, the group comparison, and the window benchmark's numbers
and rows (with a built kormial-window-bench: that it searches what
kormial-cli searches).

    python3 bench/test_bench.py          (a few seconds; standard library only)
"""

import collections
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

BENCH = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, BENCH)
sys.dont_write_bytecode = True  # keep bench/ free of __pycache__
import depth  # noqa: E402
import gen_corpus  # noqa: E402
import run  # noqa: E402


def listing(root):
    """Every entry below ROOT with its kind, size, time and link target."""
    out = []
    for folder, dirs, files in os.walk(root):
        for name in sorted(dirs + files):
            path = os.path.join(folder, name)
            st = os.lstat(path)
            target = os.readlink(path) if os.path.islink(path) else ""
            out.append((os.path.relpath(path, root), st.st_mode, st.st_size, st.st_mtime_ns, target))
    return sorted(out)


def content_digest(root):
    h = hashlib.sha256()
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path):
                h.update(os.path.relpath(path, root).encode("utf-8", "surrogateescape"))
                with open(path, "rb") as f:
                    h.update(f.read())
    return h.hexdigest()


def true_groups(root):
    """Byte-identical non-empty regular files, by (device, inode), found by
    hashing the tree independently of the generator's bookkeeping."""
    by_content = collections.defaultdict(set)
    for folder, dirs, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            if not os.path.isfile(path) or os.path.islink(path) or st.st_size == 0:
                continue
            with open(path, "rb") as f:
                key = (st.st_size, hashlib.sha256(f.read()).digest())
            by_content[key].add((st.st_dev, st.st_ino))
    return {frozenset(s) for s in by_content.values() if len(s) >= 2}


class Quiet:
    def write(self, _):
        pass

    def flush(self):
        pass


class GeneratorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="bench-test-")
        cls.trees = {}
        for tree in gen_corpus.TREES:
            cls.trees[tree] = gen_corpus.ensure(os.path.join(cls.tmp, "a"), tree, "smoke", seed=3, log=Quiet())

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def test_same_seed_same_tree_other_seed_other_tree(self):
        for tree in ("mixed", "rules", "lastbyte"):
            root, manifest = self.trees[tree]
            again, manifest2 = gen_corpus.ensure(os.path.join(self.tmp, "b"), tree, "smoke", seed=3, log=Quiet())
            self.assertEqual(listing(root), listing(again), tree)
            self.assertEqual(content_digest(root), content_digest(again), tree)
            self.assertEqual(manifest["groups"], manifest2["groups"])
            other, _ = gen_corpus.ensure(os.path.join(self.tmp, "c"), tree, "smoke", seed=4, log=Quiet())
            self.assertNotEqual(content_digest(root), content_digest(other), tree)

    def test_recorded_groups_are_the_true_groups(self):
        for tree, (root, manifest) in self.trees.items():
            scan = run.Scan(root)
            recorded, missing = run.manifest_groups(manifest, scan)
            self.assertEqual(missing, 0, tree)
            self.assertEqual(recorded, true_groups(root), tree)
            self.assertEqual(len(recorded) == 0, tree in ("samesize-distinct", "samesize-tail"), tree)

    def test_shapes(self):
        root, m = self.trees["samesize"]
        sizes = {os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(root) for f in fs}
        self.assertEqual(sizes, {4096})
        self.assertEqual(m["files"], gen_corpus.SMOKE["samesize"]["files"])
        self.assertGreater(m["files"], 250)  # one run long enough for the pairwise path
        root, m = self.trees["bigfiles"]
        self.assertEqual(m["files"], 24)
        lo, hi = gen_corpus.SMOKE["bigfiles"]["min_size"], gen_corpus.SMOKE["bigfiles"]["max_size"]
        for d, _, fs in os.walk(root):
            for f in fs:
                self.assertTrue(lo <= os.path.getsize(os.path.join(d, f)) <= hi)
        root, m = self.trees["mixed"]
        self.assertEqual(m["files"], gen_corpus.SMOKE["mixed"]["files"])
        self.assertAlmostEqual(m["bytes"], gen_corpus.SMOKE["mixed"]["bytes"], delta=m["bytes"] * 0.01)
        self.assertGreater(m["hardlinks"], 0)
        self.assertGreater(m["symlinks"], 0)

    def test_same_size_files_differ_only_at_the_end(self):
        def contents(tree, sub=""):
            root, _ = self.trees[tree]
            out = []
            for d, _, fs in os.walk(os.path.join(root, sub)):
                for name in fs:
                    with open(os.path.join(d, name), "rb") as f:
                        out.append(f.read())
            return out

        for tree, sub, key, tail in (("lastbyte", "last-byte", "a_size", 1), ("samesize-tail", "", "size", 8),
                                     ("tail-1m", "", "size", 4096), ("sparse", "", "size", 8)):
            found = contents(tree, sub)
            self.assertEqual({len(c) for c in found}, {gen_corpus.SMOKE[tree][key]}, tree)
            self.assertEqual(len({c[:-tail] for c in found}), 1, tree)
            self.assertGreater(len({c[-tail:] for c in found}), len(found) // 2, tree)
        found = contents("samesize-distinct")
        self.assertEqual({len(c) for c in found}, {102_400})
        self.assertEqual(len({c[:16] for c in found}), len(found))
        # holes take no room: only a written tail does
        root, _ = self.trees["sparse"]
        blocks = [os.lstat(os.path.join(d, f)).st_blocks for d, _, fs in os.walk(root) for f in fs]
        self.assertLessEqual(max(blocks), 16)
        # a scaled tree has fewer files of the same shape
        self.assertEqual(gen_corpus.params_for("sparse", "full", 0.1), {"files": 2000, "size": 1_000_000, "tail": 8})

    def test_folders_of_the_entries_and_million_trees(self):
        root, m = self.trees["entries"]
        scan = run.Scan(root)
        self.assertEqual(len(scan.folders), m["params"]["folders"])
        self.assertEqual(scan.names, m["params"]["folders"] * m["params"]["per_folder"])
        root, m = self.trees["million"]
        counts = [len(fs) for _, ds, fs in os.walk(root) if not ds]
        self.assertEqual((sum(counts), min(counts), max(counts)), (m["params"]["files"], 100, 100))

    def test_up_to_date_tree_is_kept_and_changed_parameters_regenerate(self):
        out = os.path.join(self.tmp, "d")
        root, _ = gen_corpus.ensure(out, "samesize", "smoke", seed=3, log=Quiet())
        marker = os.path.join(root, "marker")
        open(marker, "w").close()
        gen_corpus.ensure(out, "samesize", "smoke", seed=3, log=Quiet())
        self.assertTrue(os.path.exists(marker))
        gen_corpus.ensure(out, "samesize", "smoke", seed=5, log=Quiet())
        self.assertFalse(os.path.exists(marker))


class ParserTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="bench-parse-")

    def tearDown(self):
        shutil.rmtree(self.work)

    def put(self, name, text):
        with open(os.path.join(self.work, name), "w", encoding="utf-8") as f:
            f.write(text)

    def test_kormial_tsv_unescapes_and_groups_by_group_column(self):
        self.put("stdout.txt",
                 "1\t4\t3\t2020/01/01 00:00:00\t/t/a\\\\b/\tx\\ty\n"
                 "1\t4\t3\t2020/01/01 00:00:00\t/t/\tnew\\nline\n"
                 "1\t7\t9\t2020/01/01 00:00:00\t/t/\tp q\n"
                 "1\t7\t9\t2020/01/01 00:00:00\t/t/c/\tp q\n"
                 "0\t0\t0\t2020/01/01 00:00:00\t/t/\tempty\n")
        groups = sorted(sorted(g) for g in run.parse_kormial(self.work))
        self.assertEqual(groups, [["/t/a\\b/x\ty", "/t/new\nline"], ["/t/c/p q", "/t/p q"]])

    def test_fdupes_blocks(self):
        self.put("stdout.txt", "/t/a b\n/t/c\n\n/t/d\n/t/e\n/t/f\n\n")
        self.assertEqual(run.parse_blocks(self.work), [["/t/a b", "/t/c"], ["/t/d", "/t/e", "/t/f"]])

    def test_rdfind_results_grouped_by_id(self):
        self.put("results.txt",
                 "# Automatically generated\n# duptype id depth size device inode priority name\n"
                 "DUPTYPE_FIRST_OCCURRENCE 3 0 3 65024 1 5 /t/s 1\n"
                 "DUPTYPE_WITHIN_SAME_TREE -3 0 3 65024 2 5 /t/s 2\n"
                 "DUPTYPE_FIRST_OCCURRENCE 1 0 3 65024 3 5 /t/x\n"
                 "DUPTYPE_WITHIN_SAME_TREE -1 2 3 65024 4 5 /t/y\n# end of file\n")
        self.assertEqual(sorted(run.parse_rdfind(self.work)), [["/t/s 1", "/t/s 2"], ["/t/x", "/t/y"]])

    def test_rmlint_json_only_duplicates_grouped_by_checksum(self):
        self.put("rmlint.json", """[{"description": "x"},
            {"type": "emptyfile", "path": "/t/e", "size": 0},
            {"type": "duplicate_file", "path": "/t/a", "size": 3, "checksum": "c1"},
            {"type": "duplicate_file", "path": "/t/b", "size": 3, "checksum": "c1"},
            {"type": "duplicate_file", "path": "/t/c", "size": 3, "checksum": "c2"},
            {"type": "duplicate_file", "path": "/t/d", "size": 3, "checksum": "c2"},
            {"type": "badlink", "path": "/t/l"}]""")
        self.assertEqual(sorted(run.parse_rmlint(self.work)), [["/t/a", "/t/b"], ["/t/c", "/t/d"]])

    def test_duff_clusters(self):
        self.put("stdout.txt", "2 files in cluster 1 (0 bytes, digest da39)\n/t/e1\n/t/e2\n"
                               "3 files in cluster 2 (3 bytes, digest 55ca)\n/t/h\n/t/a b\n/t/x\n")
        self.assertEqual(run.parse_duff(self.work), [["/t/e1", "/t/e2"], ["/t/h", "/t/a b", "/t/x"]])


class CompareTest(unittest.TestCase):
    """A small tree with every rule, and listings as the tools give them."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="bench-cmp-")
        r = self.root
        os.makedirs(os.path.join(r, ".hid"))
        for name, data in (("a", b"abc"), ("b", b"abc"), (".h", b"abc"), (".hid/c", b"abc"),
                           ("e1", b""), ("e2", b""), ("x", b"xyz"), (".hid/x2", b"xyz"),
                           ("s1", b"123"), ("s2", b"124")):
            with open(os.path.join(r, name), "wb") as f:
                f.write(data)
        os.link(os.path.join(r, "a"), os.path.join(r, "a-link"))
        os.link(os.path.join(r, "x"), os.path.join(r, "x-link"))
        os.symlink("a", os.path.join(r, "sym"))
        self.scan = run.Scan(r)
        self.reference, _ = run.manifest_groups(
            {"groups": [["a", "b", ".h", ".hid/c"], ["x", ".hid/x2"]]}, self.scan)

    def tearDown(self):
        shutil.rmtree(self.root)

    def p(self, *names):
        return [os.path.join(self.root, n) for n in names]

    def check(self, tool, raw):
        groups, notes = run.canonical(raw, self.scan)
        return run.compare(tool, groups, notes, self.reference, self.scan)

    def test_rules_explain_the_listings(self):
        # fdupes: empty files as a group, one name of the hard-linked file
        ok, text = self.check("fdupes", [self.p("a", "b", ".h", ".hid/c"), self.p("e1", "e2"),
                                         self.p("x", ".hid/x2")])
        self.assertTrue(ok, text)
        self.assertIn("2 empty files", text)
        # duff: every name, empty files, hidden names skipped
        ok, text = self.check("duff", [self.p("a", "a-link", "b"), self.p("e1", "e2"),
                                       self.p("x", "x-link")])
        self.assertTrue(ok, text)
        self.assertIn("2 extra hard-link names", text)
        self.assertIn("skips hidden names: 3 hidden files, 1 group fewer", text)
        # a listed symbolic link is taken out and named
        ok, text = self.check("jdupes", [self.p("a", "sym", "b", ".h", ".hid/c"), self.p("x", ".hid/x2")])
        self.assertTrue(ok, text)
        self.assertIn("1 symbolic link", text)

    def test_wrong_groups_are_mismatches(self):
        # two same-size files that differ, listed as duplicates
        ok, text = self.check("jdupes", [self.p("a", "b", ".h", ".hid/c"), self.p("x", ".hid/x2"),
                                         self.p("s1", "s2")])
        self.assertFalse(ok)
        self.assertIn("1 group not in the reference", text)
        # one member missing: the group differs
        ok, text = self.check("kormial", [self.p("a", "b", ".h"), self.p("x", ".hid/x2")])
        self.assertFalse(ok)
        self.assertIn("1 group missing", text)
        # a tool that includes hidden names may not drop them
        ok, _ = self.check("fdupes", [self.p("a", "b")])
        self.assertFalse(ok)
        # a path that is no file of the tree
        ok, text = self.check("rdfind", [self.p("a", "b", ".h", ".hid/c", "nowhere"), self.p("x", ".hid/x2")])
        self.assertFalse(ok)
        self.assertIn("not files of the tree", text)

    def test_hard_links_alone_are_no_group(self):
        ok, text = self.check("duff", [self.p("x", "x-link"), self.p("a", "b")])
        self.assertTrue(ok, text)

    def test_read_once_set_has_one_name_a_file_and_only_shared_sizes(self):
        paths, total = self.scan.read_once_set()
        names = {os.path.relpath(p, self.root) for p in paths}
        self.assertEqual(len(names & {"a", "a-link"}), 1)
        self.assertEqual(len(names & {"x", "x-link"}), 1)
        self.assertFalse(names & {"e1", "e2", "sym"})
        self.assertEqual(len(paths), 8)
        self.assertEqual(total, 24)


def window_json(*runs, completed=True):
    """kormial-window-bench --json output for one tree with RUNS, each given
    as (total_s, cpu_s, stall_s, outside_s, inside_s, dup_rows)."""
    def gap(s, outside, call, phase):
        return {"s": s, "cpu_s": s, "outside_s": outside, "in_calls_s": s - outside,
                "longest_call_s": call, "calls": 1 if call else 0, "at_s": 0.5, "clock_s": 100.0,
                "phase": phase}
    out = []
    for total, cpu, stall, outside, inside, rows in runs:
        out.append({"completed": completed, "total_s": total, "cpu_s": cpu, "status_s": total, "files": 50,
                    "dup_rows": rows, "dup_groups": 3, "read_errors": 0, "messages": 0, "ticks": 9,
                    "gaps": 9, "stalls_over_100ms": 0, "outside_over_100ms": 0, "compare_calls": 4,
                    "compare_s": 0.1, "status": "Completed in 0s, searching 50 files.",
                    "longest_stall": gap(stall, stall / 2, stall / 2, "stall"),
                    "longest_outside": gap(outside * 2, outside, outside, "outside %s" % total),
                    "longest_inside": gap(inside, 0.0, inside, "inside %s" % total)})
    return json.dumps({"heartbeat_ms": 2, "warmup": 0, "trees": [
        {"path": "/t", "completed": completed, "median_s": 0, "files": 50, "dup_rows": runs[-1][5],
         "dup_groups": 3, "read_errors": 0, "longest_stall_s": 0, "longest_outside_s": 0,
         "longest_inside_s": 0, "runs": out}]})


class WindowTest(unittest.TestCase):
    """Reading kormial-window-bench's numbers and checking its rows."""

    def test_runs_of_several_processes_give_median_and_worst_stalls(self):
        texts = [window_json((3.0, 2.5, 0.2, 0.05, 0.10, 7)),
                 window_json((1.0, 0.9, 0.4, 0.01, 0.30, 7)),
                 window_json((2.0, 1.5, 0.1, 0.12, 0.02, 7))]
        w = run.parse_window(texts)
        self.assertEqual(w["runs"], [3.0, 1.0, 2.0])
        self.assertEqual(w["median"], 2.0)
        self.assertEqual(w["cpu"], 1.5)
        self.assertTrue(w["completed"])
        self.assertTrue(w["same_rows"])
        self.assertEqual(w["dup_rows"], 7)
        # each stall from the run where it was worst, with that run's phase
        self.assertEqual(w["stall"]["s"], 0.4)
        self.assertEqual(w["outside"]["outside_s"], 0.12)
        self.assertEqual(w["outside"]["phase"], "outside 2.0")
        self.assertEqual(w["inside"]["longest_call_s"], 0.30)
        self.assertEqual(w["inside"]["phase"], "inside 1.0")

    def test_unfinished_or_unequal_searches_show(self):
        w = run.parse_window([window_json((1.0, 1.0, 0.1, 0.1, 0.1, 7)),
                              window_json((1.0, 1.0, 0.1, 0.1, 0.1, 7), completed=False)])
        self.assertFalse(w["completed"])
        w = run.parse_window([window_json((1.0, 1.0, 0.1, 0.1, 0.1, 7)),
                              window_json((1.0, 1.0, 0.1, 0.1, 0.1, 8))])
        self.assertFalse(w["same_rows"])
        with self.assertRaises(ValueError):
            run.parse_window([json.dumps({"trees": []})])
        with self.assertRaises(ValueError):
            run.parse_window([])

    def test_flags_only_past_the_limits(self):
        w = run.parse_window([window_json((1.2, 1.0, 0.1, 0.1, 0.5, 7))])
        self.assertEqual(run.window_flags(w, 1.0), [])
        w = run.parse_window([window_json((1.3, 1.0, 0.2, 0.101, 0.5, 7))])
        self.assertEqual(len(run.window_flags(w, 1.0)), 2)

    def test_rows_compared_with_kormial_cli(self):
        root = tempfile.mkdtemp(prefix="bench-win-")
        try:
            for name, data in (("a", b"abc"), ("b", b"abc"), ("sub/c", b"abc"), ("x", b"xyz"), ("y", b"xyz")):
                os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                with open(os.path.join(root, name), "wb") as f:
                    f.write(data)
            scan = run.Scan(root)

            def tsv(*groups):
                lines = []
                for g, names in enumerate(groups):
                    for n in names:
                        folder, name = os.path.split(os.path.join(root, n))
                        lines.append("1\t%d\t3\t2020/01/01 00:00:00\t%s/\t%s\n" % (g, folder, name))
                return "".join(lines)

            cli = os.path.join(root, "cli")
            os.makedirs(cli)
            with open(os.path.join(cli, "stdout.txt"), "w") as f:
                f.write(tsv(["a", "b", "sub/c"], ["x", "y"]))
            rows = os.path.join(root, "rows.tsv")
            for text, count, want in ((tsv(["sub/c", "a", "b"], ["y", "x"]), 5, True),
                                      (tsv(["a", "b"], ["x", "y"]), 4, False),
                                      (tsv(["a", "b", "sub/c", "x", "y"]), 5, False)):
                with open(rows, "w") as f:
                    f.write(text)
                ok, msg = run.check_window({"rows_file": rows, "dup_rows": count, "dup_groups": 2}, cli, scan)
                self.assertEqual(ok, want, msg)
            # the rows it wrote must be the rows it counted
            with open(rows, "w") as f:
                f.write(tsv(["a", "b", "sub/c"], ["x", "y"]))
            ok, msg = run.check_window({"rows_file": rows, "dup_rows": 4, "dup_groups": 2}, cli, scan)
            self.assertFalse(ok, msg)
        finally:
            shutil.rmtree(root)

    def test_window_searches_what_kormial_cli_searches(self):
        """The built window benchmark against the built kormial-cli on a tree
        where the pattern, the sub-folders or an extra search type would show."""
        kormial = run.find_kormial(None)
        bench = run.find_window_bench(None, kormial) if kormial else None
        if not kormial or not bench:
            self.skipTest("kormial-cli or kormial-window-bench not built")
        root = tempfile.mkdtemp(prefix="bench-win-e2e-")
        outs = tempfile.mkdtemp(prefix="bench-win-out-")
        try:
            same = os.urandom(5000)
            files = {"a.dat": same, "deep/er/b.dat": same, ".hidden": same, "NODOT": same,
                     "lone.dat": os.urandom(5000), "e1": b"", "deep/e1": b"",
                     "n/same.txt": b"1", "m/same.txt": b"22", "big1": same * 300, "big2": same * 300}
            for name, data in files.items():
                path = os.path.join(root, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)
            cli = outs
            with open(os.path.join(cli, "stdout.txt"), "wb") as f:
                subprocess.run([kormial, "-t", "dup", "--format", "tsv", root], stdout=f,
                               stderr=subprocess.DEVNULL, check=True)
            rows = os.path.join(outs, "rows.tsv")
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            r = subprocess.run([bench, "--json", "--rows", rows, "--reps", "2", root], env=env,
                               capture_output=True, text=True)
            self.assertEqual(r.returncode, 0, r.stderr)
            w = run.parse_window([r.stdout])
            self.assertTrue(w["completed"])
            self.assertEqual((w["dup_rows"], w["dup_groups"], w["files"]), (6, 2, 11))
            scan = run.Scan(root)
            ok, msg = run.check_window(dict(w, rows_file=rows), cli, scan)
            self.assertTrue(ok, msg)
            # only "Duplicates" was ticked: no zero-size or same-name rows
            with open(rows, encoding="utf-8") as f:
                lists = {line.split("\t")[0] for line in f if line.strip()}
            self.assertEqual(lists, {"1"})
            # the search was watched: a heartbeat, and the comparisons' reads seen
            self.assertGreater(json.loads(r.stdout)["trees"][0]["runs"][0]["ticks"], 0)
            self.assertGreater(w["compare_calls"], 0)
        finally:
            shutil.rmtree(root)
            shutil.rmtree(outs)


class ReaderTest(unittest.TestCase):
    def test_readonce_reads_listed_files_and_reports_failures(self):
        cc = shutil.which("cc") or shutil.which("gcc")
        if not cc:
            self.skipTest("no C compiler")
        tmp = tempfile.mkdtemp(prefix="bench-read-")
        try:
            exe = os.path.join(tmp, "readonce")
            subprocess.run([cc, "-O2", "-Wall", "-Wextra", "-Werror", "-o", exe,
                            os.path.join(BENCH, "readonce.c")], check=True)
            good = os.path.join(tmp, "file with space")
            with open(good, "wb") as f:
                f.write(os.urandom(3 << 20))
            lst = os.path.join(tmp, "list")
            with open(lst, "wb") as f:
                f.write(os.fsencode(good) + b"\0")
            self.assertEqual(subprocess.run([exe, lst]).returncode, 0)
            with open(lst, "ab") as f:
                f.write(os.fsencode(os.path.join(tmp, "missing")) + b"\0")
            r = subprocess.run([exe, lst], capture_output=True, text=True)
            self.assertEqual(r.returncode, 1)
            self.assertIn("missing", r.stderr)
        finally:
            shutil.rmtree(tmp)


class DepthTest(unittest.TestCase):
    def test_chain_and_siblings_hold_the_folders_and_the_pair_and_go_again(self):
        tmp = tempfile.mkdtemp(prefix="bench-depth-")
        try:
            chain, siblings = os.path.join(tmp, "chain"), os.path.join(tmp, "siblings")
            depth.make_chain(chain, 2100)  # deeper than PATH_MAX allows a path
            depth.make_siblings(siblings, 12)
            fd, levels = os.open(chain, os.O_RDONLY), 0
            while "d" in os.listdir(fd):
                inner = os.open("d", os.O_RDONLY, dir_fd=fd)
                os.close(fd)
                fd, levels = inner, levels + 1
            self.assertEqual((levels, sorted(os.listdir(fd))), (2100, ["bottom.txt"]))
            os.close(fd)
            self.assertEqual(len(os.listdir(siblings)), 13)
            with open(os.path.join(siblings, "d11", "bottom.txt"), "rb") as f:
                self.assertEqual(f.read(), depth.CONTENT)
            for tree in (chain, siblings):
                depth.remove_tree(tree)
            self.assertEqual(os.listdir(tmp), [])
        finally:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
