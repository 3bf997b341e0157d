#!/usr/bin/env python3
"""Discovery benchmark: baseline.exe under Wine against the bare system calls
on the same trees, in one Wine prefix.

    discovery_bench.py --build build/windows --prefix PREFIX --work build/bench [--repeat N]

--build is the build tree whose programs are measured (build/windows for the
32-bit ones, build/windows64 for the native 64-bit ones), --prefix the Wine
prefix they run in.

Prints, as figures (nothing here passes or fails):
  - the creator's time on a 100,000-entry tree without executables against a
    bare FindFirstFileW/FindNextFileW walk of it (target: at most 1.5 times);
  - the time per signed executable against bare CryptQueryObject plus
    GetFileVersionInfoW calls on the same files (target: at most 1.2 times);
  - the creator's peak resident set (Wine's working set) on trees of 10,000 and
    100,000 entries in realistic proportions (target: under 2 MiB apart)."""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time


def make_tree(root, entries, fixtures, exe_share=0.0, signed_share=0.0, files_per_directory=19):
    """Directories of `files_per_directory` entries each, the given shares of
    them unsigned and signed executables (hard links to the fixtures), the
    rest other files. Made once; a marker records the recipe."""
    recipe = "%d %.3f %.3f %d" % (entries, exe_share, signed_share, files_per_directory)
    marker = os.path.join(root, ".recipe")
    if os.path.exists(marker) and open(marker).read() == recipe:
        return
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    made = 0
    directory_index = 0
    unsigned = os.path.join(fixtures, "unsigned.exe")
    signed = os.path.join(fixtures, "signed.exe")
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
                os.link(signed, name + ".exe")
            elif exe_share and counter % round(1 / exe_share) == 1:
                os.link(unsigned, name + ".exe")
            else:
                open(name + (".dll" if n % 3 == 0 else ".txt"), "wb").close()
            made += 1
    with open(marker, "w") as f:
        f.write(recipe)


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    build, work = os.path.abspath(args.build), os.path.abspath(args.work)
    fixtures = os.path.join(build, "fixtures")
    trees = os.path.join(work, "trees")
    run_dir = os.path.join(work, "run")
    os.makedirs(run_dir, exist_ok=True)
    shutil.copy(os.path.join(build, "baseline.exe"), run_dir)
    shutil.copy(os.path.join(build, "baselineconf.exe"), run_dir)
    prefix = os.path.abspath(args.prefix)
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    wine_for = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine", "wine-for")

    def wine(program, *args):
        loader = subprocess.run([wine_for, prefix, program], stdout=subprocess.PIPE, check=True).stdout
        return [loader.decode().strip(), program] + list(args)

    print("measuring %s in %s" % (os.path.join(build, "baseline.exe"), prefix), flush=True)
    subprocess.run(["wineserver", "-p", "120"], env=env, check=False)

    print("making trees (once)...", flush=True)
    make_tree(os.path.join(trees, "plain100k"), 100000, fixtures)
    make_tree(os.path.join(trees, "signed2k"), 2000, fixtures, signed_share=1.0, files_per_directory=40)
    make_tree(os.path.join(trees, "mixed10k"), 10000, fixtures, exe_share=0.09, signed_share=0.03)
    make_tree(os.path.join(trees, "mixed100k"), 100000, fixtures, exe_share=0.09, signed_share=0.03)

    runs = [0]

    def creator(tree):
        config = os.path.join(run_dir, "config.json")
        with open(config, "w") as f:
            json.dump({"paths_to_discover": [windows_path(os.path.join(trees, tree))]}, f)
        subprocess.run(wine(os.path.join(run_dir, "baselineconf.exe"), "encode", "config.json", "-o",
                            "baselineconf.dat", "--force"),
                       cwd=run_dir, env=env, check=True, stdout=subprocess.DEVNULL)
        runs[0] += 1
        title = b"Bench%d" % runs[0]  # a new document name for every run
        seconds, out, peak = peak_of(wine(os.path.join(run_dir, "baseline.exe")), env, run_dir,
                                     title + b"\nBenchmark\n")
        if b"created successfully" not in out:
            sys.exit("baseline.exe did not finish:\n" + out.decode("utf-8", "replace"))
        for name in os.listdir(run_dir):
            if name.endswith(".json") and name.startswith("Bench"):
                os.remove(os.path.join(run_dir, name))
        return seconds, peak

    def bare(mode, tree):
        seconds, out, _ = peak_of(wine(os.path.join(build, "bench", "bare_walk.exe"), mode,
                                       windows_path(os.path.join(trees, tree))), env, run_dir, b"")
        return seconds, json.loads(out)

    def median(values):
        return statistics.median(values)

    print("walk of 100,000 entries without executables:", flush=True)
    walk = [bare("walk", "plain100k") for _ in range(args.repeat)]
    made = [creator("plain100k")[0] for _ in range(args.repeat)]
    walk_s = median(w[0] for w in walk)
    print("  entries listed            %d" % walk[0][1]["entries"])
    print("  bare walk (process)       %.2f s" % walk_s)
    print("  creator (process)         %.2f s" % median(made))
    print("  ratio                     %.2f  (target <= 1.5)" % (median(made) / walk_s))

    print("signed executables:", flush=True)
    ident = [bare("identity", "signed2k") for _ in range(args.repeat)]
    walk_signed = [bare("walk", "signed2k") for _ in range(args.repeat)]
    made_signed = [creator("signed2k")[0] for _ in range(args.repeat)]
    count = ident[0][1]["executables"]
    bare_per = median(i[0] for i in ident) / count
    creator_per = median(made_signed) / count
    print("  executables               %d" % count)
    print("  bare calls per file       %.2f ms (walk alone %.2f ms)" %
          (bare_per * 1000, median(w[0] for w in walk_signed) / count * 1000))
    print("  creator per file          %.2f ms" % (creator_per * 1000))
    print("  ratio                     %.2f  (target <= 1.2)" % (creator_per / bare_per))

    print("peak resident set of the creator:", flush=True)
    small = median(creator("mixed10k")[1] for _ in range(args.repeat))
    large = median(creator("mixed100k")[1] for _ in range(args.repeat))
    print("  10,000 entries            %.2f MiB" % (small / 1024))
    print("  100,000 entries           %.2f MiB" % (large / 1024))
    print("  difference                %.2f MiB  (target < 2)" % ((large - small) / 1024))


if __name__ == "__main__":
    main()
