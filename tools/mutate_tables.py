#!/usr/bin/env python3
"""Mutation check of the constant tables of common/codes.cpp.

Every literal entry of every table (and every constant text) defined at file
scope in common/codes.cpp is changed on its own: a number to another value,
a text in one character.  For each change the unit tests are rebuilt and run
in a private copy of the source tree.  A change that no test notices
survives; the check fails when one survives that is not listed below with
the reason no input can reach it.  A change that does not compile (a row
checked at compile time) counts as caught.

With --without-static-asserts the compile-time checks are taken out first,
so that every change must be caught by the tests themselves.

Usage: tools/mutate_tables.py [--jobs N] [--filter GTEST_FILTER]
                              [--without-static-asserts] [--list]
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SOURCE = "common/codes.cpp"

# Entries that no input can reach, with the reason.  Anything else that
# survives fails the check.  Tone ranges 0 and 1 name no tone and A of size
# codes 0 and 15 is multiplied by B = 0 wherever it is used, but the table
# tests pin them to their printed values, so none of them survives today.
UNREACHABLE = {
}

DECLARATION = re.compile(
    r"^(?:constexpr|const)\b[^=;(]*?\b(\w+)\s*\[[^\]]*\]\s*=\s*", re.M)
NUMBER = re.compile(r"-?(?:0[xX][0-9a-fA-F]+|\d+\.\d*|\d+)(?:[eE][-+]?\d+)?")
STRING = re.compile(r'"(?:[^"\\]|\\.)*"')
STATIC_ASSERT = re.compile(r"^static_assert\((?:[^;]|\n)*?\);\n", re.M)


def find_entries(text):
    """Every literal entry of the file-scope tables: (label, start, end)."""
    entries = []
    for match in DECLARATION.finditer(text):
        name = match.group(1)
        at = match.end()
        if text[at] == '"':
            literal = STRING.match(text, at)
            entries.append((name, literal.start(), literal.end()))
            continue
        if text[at] != "{":
            continue
        index = [0]  # position within each open brace level
        depth = 0
        i = at
        while True:
            c = text[i]
            if text.startswith("//", i):
                i = text.index("\n", i)
                continue
            if c == "{":
                depth += 1
                if depth > len(index):
                    index.append(0)
                index[depth - 1] = 0
                i += 1
            elif c == "}":
                depth -= 1
                i += 1
                if depth == 0:
                    break
            elif c == ",":
                index[depth - 1] += 1
                i += 1
            elif c == '"':
                literal = STRING.match(text, i)
                label = name + "".join("[%d]" % n for n in index[:depth])
                entries.append((label, literal.start(), literal.end()))
                i = literal.end()
            elif c.isdigit() or (c == "-" and text[i + 1].isdigit()):
                literal = NUMBER.match(text, i)
                label = name + "".join("[%d]" % n for n in index[:depth])
                entries.append((label, literal.start(), literal.end()))
                i = literal.end()
            elif c.isalpha() or c == "_":
                i = re.compile(r"\w+").match(text, i).end()
            else:
                i += 1
    return entries


def mutate(literal):
    """Another value for a number; one character changed in a text."""
    if literal.startswith('"'):
        body = literal[1:-1]
        if not body:
            return '"X"'
        k = len(body) // 2
        c = body[k]
        if c == " ":
            d = "_"
        elif c.isdigit():
            d = str((int(c) + 1) % 10)
        elif c.isalpha():
            d = "a" if c in "zZ" else chr(ord(c) + 1)
        else:
            d = "X"
        return '"' + body[:k] + d + body[k + 1:] + '"'
    # Integers are doubled: a fleet table stays a table of powers of two,
    # which a test that only decodes what it encoded cannot tell apart.
    if literal.lower().startswith(("0x", "-0x")):
        value = int(literal, 16)
        return hex(value * 2 if value else 1)
    if "." in literal or "e" in literal.lower():
        value = float(literal)
        if value == 0.0:
            return "1.0"
        return repr(value + 1.0 if abs(value) >= 1.0 else value * 2.0)
    value = int(literal)
    return str(value * 2 if value else 1)


def tracked_files(root):
    out = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True,
                         capture_output=True).stdout
    return [f for f in out.decode().split("\0") if f]


class Worker:
    """A private copy of the sources and a build of the unit tests."""

    def __init__(self, root, scratch, number, gtest_filter, text):
        self.tree = os.path.join(scratch, "src%d" % number)
        self.build = os.path.join(scratch, "build%d" % number)
        self.filter = gtest_filter
        for name in tracked_files(root):
            target = os.path.join(self.tree, name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy2(os.path.join(root, name), target)
        self.original = text
        with open(os.path.join(self.tree, SOURCE), "w") as f:
            f.write(text)
        subprocess.run(
            ["cmake", "-S", self.tree, "-B", self.build,
             "-DCMAKE_BUILD_TYPE=None", "-DCMAKE_CXX_FLAGS=-O0",
             "-DBUILD_BENCHMARKS=OFF"],
            check=True, capture_output=True)
        if self.compile() != 0 or self.run_tests() != 0:
            raise SystemExit("the unmutated tests do not pass")

    def compile(self):
        return subprocess.run(
            ["cmake", "--build", self.build, "--target", "unit_tests"],
            capture_output=True).returncode

    def run_tests(self):
        command = [os.path.join(self.build, "unit_tests"),
                   "--gtest_fail_fast", "--gtest_brief=1"]
        if self.filter:
            command.append("--gtest_filter=" + self.filter)
        return subprocess.run(command, capture_output=True,
                              cwd=self.build).returncode

    def check(self, start, end, replacement):
        """'compile', 'tests' or None (survived)."""
        path = os.path.join(self.tree, SOURCE)
        try:
            with open(path, "w") as f:
                f.write(self.original[:start] + replacement +
                        self.original[end:])
            if self.compile() != 0:
                return "compile"
            if self.run_tests() != 0:
                return "tests"
            return None
        finally:
            with open(path, "w") as f:
                f.write(self.original)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--filter", default="",
                        help="gtest filter of the tests to run")
    parser.add_argument("--without-static-asserts", action="store_true",
                        help="take the compile-time checks out first")
    parser.add_argument("--list", action="store_true",
                        help="list the mutations and stop")
    args = parser.parse_args()

    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(root, SOURCE)) as f:
        text = f.read()
    if args.without_static_asserts:
        text = STATIC_ASSERT.sub("", text)
    entries = find_entries(text)
    mutations = [(label, s, e, text[s:e], mutate(text[s:e]))
                 for label, s, e in entries]
    if args.list:
        for label, _, _, old, new in mutations:
            print("%-26s %s -> %s" % (label, old, new))
        return 0

    started = time.time()
    scratch = tempfile.mkdtemp(prefix="mutate-")
    try:
        jobs = max(1, min(args.jobs, len(mutations)))
        with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
            workers = list(pool.map(
                lambda n: Worker(root, scratch, n, args.filter, text),
                range(jobs)))
        free = list(workers)

        def run(mutation):
            worker = free.pop()
            try:
                label, s, e, _, new = mutation
                return worker.check(s, e, new)
            finally:
                free.append(worker)

        with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
            results = list(pool.map(run, mutations))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    caught = 0
    failed = False
    for (label, _, _, old, new), result in zip(mutations, results):
        if result:
            caught += 1
            continue
        reason = UNREACHABLE.get(label)
        if reason:
            print("survived, unreachable: %s %s -> %s (%s)" %
                  (label, old, new, reason))
        else:
            print("SURVIVED: %s %s -> %s" % (label, old, new))
            failed = True
    by_compiler = sum(1 for r in results if r == "compile")
    print("%d of %d changes caught (%d by the compiler), %.0f s" %
          (caught, len(mutations), by_compiler, time.time() - started))
    stale = [label for label in UNREACHABLE
             if label not in {m[0] for m in mutations}]
    for label in stale:
        print("listed as unreachable but not a table entry: %s" % label)
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
