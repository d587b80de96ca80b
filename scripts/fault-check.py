#!/usr/bin/env python3
"""Checks that the test suite catches a set of hand-made faults.

Each fault replaces one exact piece of text in one file. The faults are applied one at a
time to a scratch copy of the working tree (never to the tree itself), the copy is rebuilt,
and ctest runs until the first failing test: a fault is "caught" when a test fails, "missed"
when the whole suite passes, and "no build" when the faulty code does not compile (such a
fault says nothing about the tests and should be rewritten).

Fault files hold blocks separated by blank lines; '#' starts a comment line:

    = name-of-the-fault
    file: src/fs/EXRCodec.cpp
    find: constexpr size_t kChannels = 4;
    put: constexpr size_t kChannels = 3;
    tests: EXR|Image

"find" must occur exactly once in the file. "tests" (optional) is a ctest name pattern run
first, so that most faults are caught without running the whole suite. "\\n" in find or put
stands for a line break.

    scripts/fault-check.py [--scratch DIR] [--only PATTERN] FAULT_FILE...
    scripts/fault-check.py scripts/faults/*.txt     # every fault we keep

With --matrix PATTERN, every test whose name matches PATTERN runs for every fault (no stop at
the first failure), and the end of the run lists, per test, how many faults it catches and for
how many it is the only catcher among those tests: a test that is never the only catcher is one
whose faults (in this set) other tests catch too.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time


def parse(path):
    faults = []
    current = None
    with open(path, encoding="utf-8") as stream:
        for number, line in enumerate(stream, 1):
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                current = None
                continue
            if line.startswith("= "):
                current = {"name": line[2:].strip(), "where": f"{path}:{number}"}
                faults.append(current)
                continue
            key, sep, value = line.partition(": ")
            if current is None or not sep or key not in ("file", "find", "put", "tests"):
                sys.exit(f"{path}:{number}: expected '= name' or 'file|find|put|tests: ...'")
            current[key] = value.replace("\\n", "\n")
    for fault in faults:
        for key in ("file", "find", "put"):
            if key not in fault:
                sys.exit(f"{fault['where']}: fault {fault['name']} has no '{key}:' line")
    return faults


def copy_tree(source, scratch):
    """Mirrors the working tree's tracked and unignored files into scratch/src."""
    listed = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=source, check=True, capture_output=True).stdout.split(b"\0")
    target = os.path.join(scratch, "src")
    os.makedirs(target, exist_ok=True)
    wanted = set()
    for name in filter(None, listed):
        relative = name.decode()
        wanted.add(relative)
        origin = os.path.join(source, relative)
        copy = os.path.join(target, relative)
        if not os.path.isfile(origin):
            continue
        if os.path.isfile(copy):
            with open(origin, "rb") as a, open(copy, "rb") as b:
                if a.read() == b.read():
                    continue
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        # A fresh time stamp, so the build sees the change even when the origin is older
        # than the scratch build.
        shutil.copyfile(origin, copy)
        shutil.copymode(origin, copy)
    for root, _, files in os.walk(target):
        for name in files:
            relative = os.path.relpath(os.path.join(root, name), target)
            if relative not in wanted:
                os.remove(os.path.join(root, name))
    return target


def run(command, cwd, env=None):
    return subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True)


def failures(output):
    return re.findall(r"\d+ - (\S+) \(", output)


def first_failure(output):
    found = failures(output)
    return found[0] if found else "?"


def listed_tests(ctest, pattern, cwd):
    names = run(ctest + ["-N", "-R", pattern], cwd).stdout
    return re.findall(r"Test +#\d+: (\S+)", names)


def print_matrix(tests, catchers):
    """Per test: faults caught, and faults no other listed test catches."""
    print("\ncaught  only  test")
    for test in tests:
        caught = sum(1 for names in catchers.values() if test in names)
        only = sum(1 for names in catchers.values() if names == [test])
        print(f"{caught:6}  {only:4}  {test}")
    uncaught = [fault for fault, names in catchers.items() if not names]
    if uncaught:
        print("faults none of these tests catch: " + ", ".join(uncaught))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("faults", nargs="+", help="fault files")
    parser.add_argument("--scratch", help="scratch folder for the copy and its build, kept "
                        "between runs (default: build-faults in the working tree)")
    parser.add_argument("--only", help="run only the faults whose name matches this pattern")
    parser.add_argument("--matrix", metavar="PATTERN", help="run every test matching PATTERN "
                        "for every fault and report which tests catch which faults")
    args = parser.parse_args()

    source = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True,
                            capture_output=True, text=True).stdout.strip()
    faults = [f for path in args.faults for f in parse(path)]
    if args.only:
        faults = [f for f in faults if re.search(args.only, f["name"])]
    scratch = os.path.abspath(args.scratch or os.path.join(source, "build-faults"))
    tree = copy_tree(source, scratch)
    build = os.path.join(scratch, "build")
    configure = ["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DVRENN_BENCH=OFF",
                 "-DVRENN_WERROR=OFF"]
    if shutil.which("ccache"):
        configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    if run(configure, tree).returncode != 0 or run(["cmake", "--build", build], tree).returncode:
        sys.exit("the unchanged tree does not build in the scratch copy")
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen")
    ctest = ["ctest", "--test-dir", build, "--stop-on-failure", "--timeout", "300", "--parallel", str(os.cpu_count())]
    # The matrix runs every test of its pattern, past the first failure.
    ctest_every = [part for part in ctest if part != "--stop-on-failure"]

    results = {"caught": 0, "missed": 0, "no build": 0}
    matrix_tests = listed_tests(ctest, args.matrix, tree) if args.matrix else []
    catchers = {}
    for number, fault in enumerate(faults, 1):
        started = time.time()
        path = os.path.join(tree, fault["file"])
        with open(path, encoding="utf-8") as stream:
            original = stream.read()
        count = original.count(fault["find"])
        if count != 1:
            sys.exit(f"{fault['where']}: '{fault['find']}' occurs {count} times in "
                     f"{fault['file']}, not once")
        try:
            with open(path, "w", encoding="utf-8") as stream:
                stream.write(original.replace(fault["find"], fault["put"]))
            if run(["cmake", "--build", build], tree).returncode != 0:
                verdict, by = "no build", ""
            else:
                verdict, by = "missed", ""
                if args.matrix:
                    names = failures(run(ctest_every + ["-R", args.matrix], tree, env).stdout)
                    catchers[fault["name"]] = names
                    if names:
                        verdict, by = "caught", " ".join(names)
                tries = [ctest + ["-R", fault["tests"]]] if fault.get("tests") else []
                for attempt in ([] if verdict == "caught" else tries + [ctest]):
                    outcome = run(attempt, tree, env)
                    if outcome.returncode != 0:
                        verdict, by = "caught", first_failure(outcome.stdout)
                        break
        finally:
            with open(path, "w", encoding="utf-8") as stream:
                stream.write(original)
        results[verdict] += 1
        print(f"[{number}/{len(faults)}] {verdict:8} {fault['name']}"
              f"{'  by ' + by if by else ''}  ({time.time() - started:.0f} s)", flush=True)
    # Leave the scratch build matching the tree for the next run.
    run(["cmake", "--build", build], tree)
    if args.matrix:
        print_matrix(matrix_tests, catchers)
    print(", ".join(f"{value} {key}" for key, value in results.items()))
    return 1 if results["missed"] or results["no build"] else 0


if __name__ == "__main__":
    sys.exit(main())
