#!/usr/bin/env python3
"""Discovery benchmark: baseline.exe under Wine against the bare system calls
on the same trees, with one walk worker, two and all of them.

    discovery_bench.py --build BUILD --prefix PREFIX [--build BUILD --prefix PREFIX]
                       [--bare-build BUILD ...] --work build/bench
                       [--repeat N] [--quick] [--million-only]

--build is the build tree whose programs are measured (build/windows for the
32-bit ones, build/windows64 for the native 64-bit ones), --prefix the Wine
prefix they run in. Given twice (the 32-bit and the 64-bit build, each with
its prefix, paired in order) both are measured, their runs interleaved.
--bare-build takes bench/bare_walk.exe from another build tree than --build's
(once per --build), for measuring a creator built elsewhere.

Prints, as figures (nothing here passes or fails), each time the median of
--repeat runs (default 3), the worker counts interleaved 1, 2, all, 1, ...:
  - the creator's time with BASELINE_THREADS=1, 2 and unset (all: the
    processors, at most 16) and the bare yardstick's on as many threads, each
    with its ratio to one worker, on the signed tree (2,000 signed
    executables; target for all workers: at most 0.60), the mixed tree
    (100,000 entries, 9% executables, 3% signed; at most 0.70) and the walk of
    100,000 entries without executables (no slower than one worker);
  - the creator's time on that walk against the bare walk (target: at most
    1.5 times) and its time per signed executable against bare
    CryptQueryObject plus GetFileVersionInfoW calls on the same files (at most
    1.2 times), each at one worker and at all;
  - the creator's peak resident set (Wine's working set) on trees of 10,000
    and 100,000 entries in realistic proportions (target: under 2 MiB apart),
    and, one run each, at 1,000,000 entries with BASELINE_THREADS=1, 2, 8 and
    16 (target: at most 32 MiB and 1 MiB per worker).
--quick runs each once and leaves out the 1,000,000-entry tree;
--million-only measures that tree alone."""

import argparse
import errno
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

# What an unset BASELINE_THREADS means: the processors, at most this many.
MOST_WORKERS = 16
MIB = 1024  # ru_maxrss is in KiB


def make_tree(root, entries, fixtures, exe_share=0.0, signed_share=0.0, files_per_directory=19):
    """Directories of `files_per_directory` entries each, the given shares of
    them unsigned and signed executables (hard links to the fixtures), the
    rest other files. Made once; a marker records the recipe. Returns the
    seconds that making it took, now or the first time (None when unknown)."""
    recipe = "%d %.3f %.3f %d" % (entries, exe_share, signed_share, files_per_directory)
    marker = os.path.join(root, ".recipe")
    took = os.path.join(root, ".seconds")
    if os.path.exists(marker) and open(marker).read() == recipe:
        return float(open(took).read()) if os.path.exists(took) else None
    started = time.perf_counter()
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    made = 0
    directory_index = 0
    sources = {name: os.path.join(fixtures, name) for name in ("unsigned.exe", "signed.exe")}
    copies = [0]

    def link(fixture, name):
        # A file system caps a file's hard links (ext4: 65,000); past that
        # the links go to a fresh copy of the fixture.
        try:
            os.link(sources[fixture], name)
        except OSError as error:
            if error.errno != errno.EMLINK:
                raise
            copies[0] += 1
            sources[fixture] = os.path.join(fixtures, "%s-%d-%s" % (os.path.basename(root), copies[0], fixture))
            shutil.copy(os.path.join(fixtures, fixture), sources[fixture])
            os.link(sources[fixture], name)

    counter = 0
    while made < entries:
        # Two levels: groups of 50 directories, so the walk goes deep as well as wide.
        directory = os.path.join(root, "group%03d" % (directory_index // 50), "dir%05d" % directory_index)
        if directory_index % 50 == 0:
            made += 1
        os.makedirs(directory)
        made += 1
        directory_index += 1
        for n in range(files_per_directory):
            if made >= entries:
                break
            counter += 1
            name = os.path.join(directory, "file%02d" % n)
            if signed_share and counter % round(1 / signed_share) == 0:
                link("signed.exe", name + ".exe")
            elif exe_share and counter % round(1 / exe_share) == 1:
                link("unsigned.exe", name + ".exe")
            else:
                open(name + (".dll" if n % 3 == 0 else ".txt"), "wb").close()
            made += 1
    seconds = time.perf_counter() - started
    with open(took, "w") as f:
        f.write("%.1f" % seconds)
    with open(marker, "w") as f:
        f.write(recipe)
    return seconds


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def peak_of(command, env, cwd, stdin):
    """Runs one process and returns (seconds, output, peak resident set in KiB)."""
    start = time.perf_counter()
    child = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
    child.stdin.write(stdin)
    child.stdin.close()
    out = child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    return time.perf_counter() - start, out, usage.ru_maxrss


def pe_bits(program):
    """32 or 64, from the PE header's machine field (after "PE\\0\\0", whose
    offset is at 0x3C)."""
    with open(program, "rb") as f:
        header = f.read(4096)
    offset = int.from_bytes(header[0x3C:0x40], "little")
    return 64 if header[offset + 4:offset + 6] == b"\x64\x86" else 32


WINE_FOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine", "wine-for")


class Program:
    """One build's creator and bare yardstick, run in its own prefix and
    working directory."""

    def __init__(self, build, bare_build, prefix, run_dir, trees):
        self.build = os.path.abspath(build)
        self.bare_walk = os.path.join(os.path.abspath(bare_build), "bench", "bare_walk.exe")
        self.prefix = os.path.abspath(prefix)
        self.run_dir = run_dir
        self.trees = trees
        self.bits = pe_bits(os.path.join(self.build, "baseline.exe"))
        self.label = "%d-bit" % self.bits
        os.makedirs(run_dir, exist_ok=True)
        shutil.copy(os.path.join(self.build, "baseline.exe"), run_dir)
        shutil.copy(os.path.join(self.build, "baselineconf.exe"), run_dir)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("BASELINE_THREADS", None)
        self.loaders = {}
        self.configured = None  # the tree baselineconf.dat now names
        self.runs = 0

    def wine(self, program, *args):
        if program not in self.loaders:
            self.loaders[program] = subprocess.run([WINE_FOR, self.prefix, program], stdout=subprocess.PIPE,
                                                   check=True).stdout.decode().strip()
        return [self.loaders[program], program] + list(args)

    def wine_version(self):
        loader = self.wine(os.path.join(self.run_dir, "baseline.exe"))[0]
        return subprocess.run([loader, "--version"], stdout=subprocess.PIPE, env=self.env).stdout.decode().strip()

    def start_server(self):
        subprocess.run(["wineserver", "-p", "120"], env=self.env, check=False)

    def with_threads(self, threads):
        env = dict(self.env)
        if threads is not None:
            env["BASELINE_THREADS"] = str(threads)
        return env

    def creator(self, tree, threads):
        """(seconds, peak KiB) of one run of baseline.exe over `tree` with
        BASELINE_THREADS=`threads` (None: unset)."""
        if self.configured != tree:
            with open(os.path.join(self.run_dir, "config.json"), "w") as f:
                json.dump({"paths_to_discover": [windows_path(os.path.join(self.trees, tree))]}, f)
            subprocess.run(self.wine(os.path.join(self.run_dir, "baselineconf.exe"), "encode", "config.json",
                                     "-o", "baselineconf.dat", "--force"),
                           cwd=self.run_dir, env=self.env, check=True, stdout=subprocess.DEVNULL)
            self.configured = tree
        self.runs += 1
        title = b"Bench%d" % self.runs  # a new document name for every run
        seconds, out, peak = peak_of(self.wine(os.path.join(self.run_dir, "baseline.exe")),
                                     self.with_threads(threads), self.run_dir, title + b"\nBenchmark\n")
        if b"created successfully" not in out:
            sys.exit("%s baseline.exe did not finish:\n%s" % (self.label, out.decode("utf-8", "replace")))
        for name in os.listdir(self.run_dir):
            if name.endswith(".json") and name.startswith("Bench"):
                os.remove(os.path.join(self.run_dir, name))
        return seconds, peak

    def bare(self, mode, tree, threads):
        """(seconds, the yardstick's JSON line) of one bare_walk run on
        `threads` threads (None: its default, the creator's)."""
        args = [mode, windows_path(os.path.join(self.trees, tree))]
        if threads is not None:
            args.append(str(threads))
        seconds, out, _ = peak_of(self.wine(self.bare_walk, *args), self.env, self.run_dir, b"")
        try:
            return seconds, json.loads(out)
        except ValueError:
            sys.exit("%s bare_walk.exe %s gave no figures (a yardstick without a thread count?): %r" %
                     (self.label, " ".join(args), out[:200]))


def median(values):
    return statistics.median(list(values))


def workers_label(threads, all_workers):
    return "all (%d)" % all_workers if threads is None else str(threads)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", action="append", required=True)
    parser.add_argument("--prefix", action="append", required=True)
    parser.add_argument("--bare-build", action="append")
    parser.add_argument("--work", required=True)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--quick", action="store_true", help="each run once, no 1,000,000-entry tree")
    parser.add_argument("--million-only", action="store_true", help="only the 1,000,000-entry memory figures")
    args = parser.parse_args()
    bare_builds = args.bare_build or args.build
    if len(args.prefix) != len(args.build) or len(bare_builds) != len(args.build):
        parser.error("give one --prefix (and, if any, one --bare-build) for every --build")
    if args.quick and args.million_only:
        parser.error("--quick leaves out the tree that --million-only measures")
    repeat = 1 if args.quick else args.repeat

    work = os.path.abspath(args.work)
    trees = os.path.join(work, "trees")
    programs = []
    for index, (build, bare_build, prefix) in enumerate(zip(args.build, bare_builds, args.prefix)):
        programs.append(Program(build, bare_build, prefix, os.path.join(work, "run", str(index + 1)), trees))
    labels = [p.label for p in programs]
    if len(set(labels)) != len(labels):
        for n, p in enumerate(programs):
            p.label += " #%d" % (n + 1)
    processors = os.cpu_count()
    all_workers = max(1, min(processors, MOST_WORKERS))
    settings = [1, 2, None]  # BASELINE_THREADS; None leaves it unset

    print("host: %d processors (os.cpu_count()), %s; all workers = %d (the processors, at most %d)" %
          (processors, programs[0].wine_version(), all_workers, MOST_WORKERS))
    # The machine may be shared: the others' load stretches every wall time.
    print("load average at the start: %.2f %.2f %.2f" % os.getloadavg())
    for p in programs:
        print("measuring %s %s (bare yardstick %s) in %s" %
              (p.label, os.path.join(p.build, "baseline.exe"), p.bare_walk, p.prefix), flush=True)
        p.start_server()

    # The trees link to copies of the fixtures, not to the build's own files.
    fixtures = os.path.join(trees, "fixtures")
    os.makedirs(fixtures, exist_ok=True)
    for name in ("unsigned.exe", "signed.exe"):
        if not os.path.exists(os.path.join(fixtures, name)):
            shutil.copy(os.path.join(programs[0].build, "fixtures", name), fixtures)
    print("making trees (once)...", flush=True)
    if not args.million_only:
        make_tree(os.path.join(trees, "plain100k"), 100000, fixtures)
        make_tree(os.path.join(trees, "signed2k"), 2000, fixtures, signed_share=1.0, files_per_directory=40)
        make_tree(os.path.join(trees, "mixed10k"), 10000, fixtures, exe_share=0.09, signed_share=0.03)
        make_tree(os.path.join(trees, "mixed100k"), 100000, fixtures, exe_share=0.09, signed_share=0.03)
    if not args.quick:
        was_there = os.path.exists(os.path.join(trees, "mixed1m", ".recipe"))
        took = make_tree(os.path.join(trees, "mixed1m"), 1000000, fixtures, exe_share=0.09, signed_share=0.03)
        print("  mixed1m (1,000,000 entries): %s" %
              ("made in %.0f s" % took if not was_there else
               "kept (making it took %.0f s the first time)" % took if took is not None else "kept"), flush=True)

    if not args.million_only:
        by_workers(programs, settings, all_workers, repeat)
    if not args.quick:
        million(programs)


def by_workers(programs, settings, all_workers, repeat):
    """The creator against the bare yardstick at each worker count on the
    three trees, then the single-worker figures kept from before the pool."""
    trees = [  # tree, title, yardstick, target for all workers against one
        ("signed2k", "signed tree", "identity", 0.60),
        ("mixed100k", "mixed tree", "identity", 0.70),
        ("plain100k", "walk without executables", "walk", 1.0),
    ]
    # A prefix's first process of a sitting starts slowly; no figure should carry that.
    for p in programs:
        p.creator("signed2k", 1)
        p.bare("identity", "signed2k", 1)
    figures = {}  # (tree, program label, threads) -> {"creator": [(s, peak)], "bare": [(s, json)]}
    print("creator and bare yardstick by workers (median of %d, interleaved 1, 2, all; whole processes):" % repeat,
          flush=True)
    for tree, title, mode, target in trees:
        for _ in range(repeat):
            for threads in settings:
                for p in programs:
                    runs = figures.setdefault((tree, p.label, threads), {"creator": [], "bare": []})
                    runs["creator"].append(p.creator(tree, threads))
                    runs["bare"].append(p.bare(mode, tree, threads))
        first = figures[(tree, programs[0].label, 1)]["bare"][0][1]
        print("%s (%s): %d entries listed, %d executables" % (title, tree, first["entries"], first["executables"]))
        print("  %-9s %-9s %8s  %5s   %8s  %5s" % ("program", "workers", "creator", "ratio", "bare", "ratio"))
        for p in programs:
            one_creator = median(s for s, _ in figures[(tree, p.label, 1)]["creator"])
            one_bare = median(s for s, _ in figures[(tree, p.label, 1)]["bare"])
            for threads in settings:
                runs = figures[(tree, p.label, threads)]
                made = median(s for s, _ in runs["creator"])
                bare = median(s for s, _ in runs["bare"])
                line = "  %-9s %-9s %6.2f s  %5.2f   %6.2f s  %5.2f" % (
                    p.label, workers_label(threads, all_workers), made, made / one_creator, bare, bare / one_bare)
                if threads is None:
                    line += "   (target: creator <= %.2f)" % target
                print(line, flush=True)

    def seconds(tree, p, threads, who):
        return median(s for s, _ in figures[(tree, p.label, threads)][who])

    for p in programs:
        print("walk of 100,000 entries without executables, %s:" % p.label)
        print("  entries listed            %d" % figures[("plain100k", p.label, 1)]["bare"][0][1]["entries"])
        for threads in (1, None):
            made, walk = seconds("plain100k", p, threads, "creator"), seconds("plain100k", p, threads, "bare")
            print("  %-9s bare walk %6.2f s, creator %6.2f s, ratio %.2f  (target <= 1.5)" %
                  (workers_label(threads, all_workers), walk, made, made / walk))

    walk_alone = {p.label: median(p.bare("walk", "signed2k", 1)[0] for _ in range(repeat)) for p in programs}
    for p in programs:
        count = figures[("signed2k", p.label, 1)]["bare"][0][1]["executables"]
        print("signed executables, %s:" % p.label)
        print("  executables               %d (bare walk alone %.2f ms per file)" %
              (count, walk_alone[p.label] / count * 1000))
        for threads in (1, None):
            bare_per = seconds("signed2k", p, threads, "bare") / count
            creator_per = seconds("signed2k", p, threads, "creator") / count
            print("  %-9s bare calls %.2f ms per file, creator %.2f ms, ratio %.2f  (target <= 1.2)" %
                  (workers_label(threads, all_workers), bare_per * 1000, creator_per * 1000, creator_per / bare_per))

    print("peak resident set of the creator, all workers (median of %d):" % repeat, flush=True)
    small = {p.label: [] for p in programs}
    for _ in range(repeat):
        for p in programs:
            small[p.label].append(p.creator("mixed10k", None)[1])
    for p in programs:
        low = median(small[p.label])
        high = median(peak for _, peak in figures[("mixed100k", p.label, None)]["creator"])
        print("  %-9s 10,000 entries %.2f MiB, 100,000 entries %.2f MiB, difference %.2f MiB  (target < 2)" %
              (p.label, low / MIB, high / MIB, (high - low) / MIB))


def million(programs):
    """Peak resident set at 1,000,000 entries by worker count, one run each:
    a run takes minutes, and the peak hardly varies from run to run."""
    print("peak resident set of the creator at 1,000,000 entries (one run each):", flush=True)
    for threads in (1, 2, 8, 16):
        for p in programs:
            seconds, peak = p.creator("mixed1m", threads)
            print("  %-9s BASELINE_THREADS=%-3d %7.2f MiB  (target <= %d MiB)   %.0f s" %
                  (p.label, threads, peak / MIB, 32 + threads, seconds), flush=True)


if __name__ == "__main__":
    main()
