#!/usr/bin/env python3
"""What names built to share one hash cost: baselinedoc check and summary on a
document of 40,000 publishers whose names all have the same value under the
standard library's fixed string hash, against 40,000 other names of the same
length; and the creator's build run (the walk cost benchmark, in-memory
platform) over 20,000 signed executables whose signers' names collide, against
20,000 ordinary ones. Figures only (target: at most 2 times each).

    collision_bench.py --tool build/host/baselinedoc --walk build/host/bench/walk_cost_bench --work DIR

The names: that hash takes 8 bytes at a time through k -> mix(k * m) * m, xors
them into its state and multiplies the state by m (odd). Two words whose mixed
values differ only in the top bit leave the state differing only in the top bit,
and a second such pair cancels it: two 16-byte blocks that collide from any
state, so 2^n names of n blocks, chosen freely, share one hash."""

import argparse
import os
import random
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "tool"))
import make_documents  # noqa: E402

M = 0xC6A4A7935BD1E995
M_INVERSE = pow(M, -1, 1 << 64)
TOP = 1 << 63
MASK = (1 << 64) - 1
CONSTANTS = [((TOP + sign * (1 << 16) * M_INVERSE) & MASK).to_bytes(8, "little") for sign in (1, -1)]
TEXT = "".join(chr(c) for c in range(0x20, 0x7F) if chr(c) not in '"\\')


def mix(k):
    x = (k * M) & MASK
    return ((x ^ (x >> 47)) * M) & MASK


def unmix(h):
    x = (h * M_INVERSE) & MASK
    return ((x ^ (x >> 47)) * M_INVERSE) & MASK


def step(state, byte):
    """UTF-8 of printable text, no quote or backslash: the continuation bytes
    still due, or None when `byte` cannot come next."""
    if state:
        return state - 1 if 0x80 <= byte <= 0xBF else None
    if 0x20 <= byte <= 0x7E and byte not in (0x22, 0x5C):
        return 0
    if 0xC2 <= byte <= 0xDF:
        return 1
    if 0xE1 <= byte <= 0xEC or 0xEE <= byte <= 0xEF:
        return 2
    return None


def utf8_block(rng):
    """Two 16-byte blocks of UTF-8 text that collide. A word's partner is the
    word plus one of two constants (which one, bytes 0 to 2 decide), so a
    depth-first search over the bytes, carry included, finds words whose
    partners are text too."""
    a, b = bytearray(16), bytearray(16)

    def word(pos, state_a, state_b, constant, carry, base):
        if pos == base + 8:
            return state_a, state_b
        i = pos - base
        order = list(range(256))
        rng.shuffle(order)
        for x in order:
            next_a = step(state_a, x)
            if next_a is None:
                continue
            c = constant
            if i == 2 and c is None:
                low = a[base] | (a[base + 1] << 8) | ((x & 1) << 16)
                c = CONSTANTS[0] if ((low * M) >> 16) & 1 == 0 else CONSTANTS[1]
            total = x + (c[i] if i >= 2 else 0) + carry
            next_b = step(state_b, total & 255)
            if next_b is None:
                continue
            a[pos], b[pos] = x, total & 255
            found = word(pos + 1, next_a, next_b, c, total >> 8 if i >= 2 else 0, base)
            if found is not None:
                return found
        return None

    while True:
        first = word(0, 0, 0, None, 0, 0)
        if first is not None and word(8, first[0], first[1], None, 0, 8) == (0, 0):
            break
    for x, y in ((a[:8], b[:8]), (a[8:], b[8:])):
        assert mix(int.from_bytes(x, "little")) ^ mix(int.from_bytes(y, "little")) == TOP
    return bytes(a), bytes(b)


def partner_words(rng):
    """A random word and its partner: mixed values that differ in the top bit only."""
    a = rng.getrandbits(64)
    return a.to_bytes(8, "little"), unmix(mix(a) ^ TOP).to_bytes(8, "little")


def names_from(blocks, count):
    return [b"".join(pair[(n >> i) & 1] for i, pair in enumerate(blocks)).decode("utf-8") for n in range(count)]


def colliding_names(count, rng):
    return names_from([utf8_block(rng) for _ in range(max(1, (count - 1).bit_length()))], count)


def ordinary_names(count, rng):
    """Of the same length and kind of text: each block one of two that do not collide."""
    return names_from([(utf8_block(rng)[0], utf8_block(rng)[1]) for _ in range(max(1, (count - 1).bit_length()))],
                      count)


def timed(command):
    started = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    return time.monotonic() - started, usage.ru_utime + usage.ru_stime, os.waitstatus_to_exitcode(status)


def document_figures(tool, work, count):
    rng = random.Random(29)
    colliding = colliding_names(count, rng)
    ordinary = ordinary_names(count, rng)
    print("baselinedoc: %d publishers, names of %d bytes" % (count, len(colliding[0].encode())))
    print("%-10s %12s %12s %8s" % ("command", "ordinary s", "colliding s", "ratio"))
    paths = {}
    for kind, names in (("ordinary", ordinary), ("colliding", colliding)):
        paths[kind] = os.path.join(work, kind + ".json")
        extra = [{"pubname": name, "issuer": "Bench CA"} for name in names]
        with open(paths[kind], "wb") as f:
            f.write(make_documents.document(40, extra=extra))
    for command in ("check", "summary"):
        seconds = {}
        for kind in ("ordinary", "colliding"):
            wall, cpu, code = timed([tool, command, paths[kind]])
            if code != 0:
                print("  %s %s exited %d" % (command, kind, code))
            seconds[kind] = cpu
        print("%-10s %12.2f %12.2f %8.2f" % (command, seconds["ordinary"], seconds["colliding"],
                                              seconds["colliding"] / seconds["ordinary"]))


def utf16_colliding_names(count, rng):
    """The same construction over UTF-16 text: 4 units a word, none a surrogate or control."""
    def good(word):
        units = [int.from_bytes(word[i:i + 2], "little") for i in range(0, 8, 2)]
        return all(0x20 <= u < 0xD800 or 0xE000 <= u < 0xFFFE for u in units)

    def pair():
        while True:
            a, b = partner_words(rng)
            if good(a) and good(b):
                return a, b

    blocks = max(1, (count - 1).bit_length())
    pairs = [(pair(), pair()) for _ in range(blocks)]
    names = []
    for n in range(count):
        name = b"".join(a1 + a2 if (n >> i) & 1 == 0 else b1 + b2 for i, ((a1, b1), (a2, b2)) in enumerate(pairs))
        names.append(name.hex())
    return names


def creator_figures(walk, work, count):
    rng = random.Random(20)
    colliding = utf16_colliding_names(count, rng)
    units = len(colliding[0]) // 4
    ordinary = ["".join(rng.randrange(0x20, 0xD800).to_bytes(2, "little").hex() for _ in range(units))
                for _ in range(count)]
    print("creator: %d signed executables, each its own signer, names of %d UTF-16 units" % (count, units))
    seconds = {}
    for kind, names in (("ordinary", ordinary), ("colliding", colliding)):
        path = os.path.join(work, kind + "-signers.txt")
        with open(path, "w") as f:
            f.write("\n".join(names) + "\n")
        done = subprocess.run([walk, "--entries", "800000", "--repeat", "3", "--signers", path],
                              stdout=subprocess.PIPE, universal_newlines=True)
        line = [l for l in done.stdout.splitlines() if l.startswith("signers:")]
        print("  %s: %s" % (kind, line[0] if line else done.stdout.strip()[-200:]))
        seconds[kind] = float(line[0].split()[-2]) if line else float("nan")
    print("  ratio colliding / ordinary: %.2f" % (seconds["colliding"] / seconds["ordinary"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--walk")
    parser.add_argument("--work", required=True)
    parser.add_argument("--publishers", type=int, default=40000)
    parser.add_argument("--signers", type=int, default=20000)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    print("load average before: %.2f (%d processors)" % (os.getloadavg()[0], os.cpu_count()))
    document_figures(os.path.abspath(args.tool), args.work, args.publishers)
    if args.walk:
        creator_figures(os.path.abspath(args.walk), args.work, args.signers)
    return 0


if __name__ == "__main__":
    sys.exit(main())
