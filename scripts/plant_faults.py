#!/usr/bin/env python3
"""Plants a fixed sample of faults in src/ one at a time and counts how many the tests catch.

Faults: a flipped comparison (< <=, > >=, == !=), a swapped logical operator (&& ||) or an
off-by-one integer constant.  The sample depends only on the sources and the seed, so two runs
over the same src/ (for example before and after a change to tests/) plant the same faults.
Each fault rebuilds incrementally (one file recompiles, the test programs relink) and runs the
test programs of each suite (a folder of the build holding test_* programs; default tests); a
fault is caught by a suite when one of its programs fails or runs past --timeout seconds.
--compare-with COMMIT builds that commit's tests/ beside today's (second-suite/, see
tests/CMakeLists.txt) and counts both suites on the same faults; a program of either suite that
does not build or fails on the unchanged sources is left out (and named).  Usage:
scripts/plant_faults.py [--count N] [--seed S] [--build DIR] [--suite DIR]... [--only DIR,...]...
                        [--compare-with COMMIT] [--timeout S] [--list]
"""
import argparse
import os
import random
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
FLIPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
OPERATOR = re.compile(r"(?<= )(<=|>=|==|!=|&&|\|\||<|>)(?= )")
CONSTANT = re.compile(r"(?<=[-+*/<>=] )(\d+)\b(?![.xXeEfFuU'])")


def candidates(only=None):
    """Every (file, line index, column, old text, new text) in a deterministic order, in the
    files under the folders of only (all of src/ when none)."""
    found = []
    for path in sorted((ROOT / "src").rglob("*.cpp")):
        if only and not any(path.relative_to(ROOT / "src").as_posix().startswith(o) for o in only):
            continue
        lines = path.read_text().splitlines(keepends=True)
        for index, line in enumerate(lines):
            code = line.split("//")[0]
            if code.lstrip().startswith(("#", "*", "static_assert")) or '"' in code:
                continue
            for m in OPERATOR.finditer(code):
                found.append((path, index, m.start(), m.group(1), FLIPS[m.group(1)]))
            for m in CONSTANT.finditer(code):
                found.append((path, index, m.start(), m.group(1), str(int(m.group(1)) + 1)))
    return found


def run(cmd, timeout=None, cwd=ROOT):
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def programs(build_dir, suite, skip):
    found = sorted(Path(ROOT / build_dir / suite).glob("*test_*"))
    return [p for p in found if p.is_file() and os.access(p, os.X_OK) and p.name not in skip]


def build(build_dir, targets=None):
    command = ["cmake", "--build", build_dir, "-j", "2"]
    for target in targets or []:
        command += ["--target", target]
    return run(command) == 0


def build_programs(build_dir):
    """Builds everything, or, when that fails, each test program on its own, leaving out (and
    naming) the programs that do not build, such as an older suite's test of internals that
    have changed since."""
    if build(build_dir):
        return
    listing = subprocess.run(["cmake", "--build", build_dir, "--target", "help"], cwd=ROOT,
                             capture_output=True, text=True).stdout
    names = sorted(set(re.findall(r"\b((?:\w+_)?test_\w+)\b", listing)))
    for name in names:
        if not build(build_dir, [name]):
            for stale in (ROOT / build_dir).glob(f"**/{name}"):
                if stale.is_file() and os.access(stale, os.X_OK):
                    stale.unlink()
            print(f"left out (does not build): {name}", flush=True)


def suite_fails(suite_programs, timeout):
    for program in suite_programs:
        command = [str(program), "--gtest_brief=1", "--gtest_fail_fast"]
        if run(command, timeout=timeout, cwd=program.parent) != 0:
            return True
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=50)
    parser.add_argument("--seed", type=int, default=13)
    parser.add_argument("--build", default="build-faults")
    parser.add_argument("--suite", action="append", help="folder of test programs in the build")
    parser.add_argument("--skip", action="append", default=["test_tools", "new_test_tools"])
    parser.add_argument("--only", action="append",
                        help="sample only files under these folders of src/ (comma-separated)")
    parser.add_argument("--compare-with", metavar="COMMIT", help="also run that commit's tests")
    parser.add_argument("--timeout", type=float, default=300, help="seconds per test program")
    parser.add_argument("--list", action="store_true", help="only print the faults")
    args = parser.parse_args()
    suites = args.suite or ["tests"]
    only = [o.strip().removeprefix("src/") for arg in args.only or [] for o in arg.split(",")]
    sample = random.Random(args.seed).sample(candidates(only), args.count)
    if args.list:
        for path, index, column, old, new in sample:
            print(f"{path.relative_to(ROOT)}:{index + 1}:{column + 1} {old} -> {new}")
        return 0
    configure = ["cmake", "-S", ".", "-B", args.build, "-DCMAKE_BUILD_TYPE=Release",
                 "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache",
                 "-DZAR_SECOND_SUITE="]
    if args.compare_with:
        other = ROOT / args.build / f"tests-{args.compare_with}"
        other.mkdir(parents=True, exist_ok=True)
        archive = subprocess.run(["git", "archive", args.compare_with, "tests"], cwd=ROOT,
                                 capture_output=True, check=True).stdout
        subprocess.run(["tar", "-x", "-C", str(other)], input=archive, check=True)
        configure[-1] += str(other / "tests")
        suites.append("second-suite")
    run(configure)
    build_programs(args.build)
    by_suite = {suite: programs(args.build, suite, args.skip) for suite in suites}
    targets = sorted({p.name for found in by_suite.values() for p in found})
    for suite, found in by_suite.items():
        for program in [p for p in found if suite_fails([p], args.timeout)]:
            print(f"left out (fails on the unchanged sources): {program.name}", flush=True)
            found.remove(program)
        if not found:
            sys.exit(f"suite {suite} must have programs that pass on the unchanged sources")
    caught = dict.fromkeys(suites, 0)
    planted = 0
    for path, index, column, old, new in sample:
        original = path.read_text()
        lines = original.splitlines(keepends=True)
        line = lines[index]
        lines[index] = line[:column] + new + line[column + len(old):]
        where = f"{path.relative_to(ROOT)}:{index + 1}:{column + 1} {old} -> {new}"
        try:
            path.write_text("".join(lines))
            if not build(args.build, targets):
                print(f"does not build  {where}", flush=True)
                continue
            planted += 1
            marks = []
            for suite, found in by_suite.items():
                hit = suite_fails(found, args.timeout)
                caught[suite] += hit
                marks.append(f"{suite}:{'caught' if hit else 'MISSED'}")
            print(" ".join(marks), where, flush=True)
        finally:
            path.write_text(original)
    build(args.build, targets)
    for suite in suites:
        name = f"{suite} ({args.compare_with})" if suite == "second-suite" else suite
        print(f"{name}: {caught[suite]} of {planted} planted faults caught")
    return 0


if __name__ == "__main__":
    sys.exit(main())
