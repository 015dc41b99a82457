#!/usr/bin/env python3
"""Fails when a function in src/ or tools/ is longer than 80 lines.

A function is a definition that starts at the beginning of a line and ends at the next line
holding only "}" (the house style puts top-level functions there).  Functions still being split
by other work are listed in ALLOWED with their current length; the list may only shrink.
"""
import re
import sys
from pathlib import Path

LIMIT = 80
ROOT = Path(__file__).resolve().parent.parent
ALLOWED = {"zarDecimate": 120, "decimateSuperElements": 103, "zarBlur": 82}
START = re.compile(r"^[A-Za-z_][^;()]*?\b([A-Za-z_]\w*)\s*\(")


def functions(path):
    lines = path.read_text().splitlines()
    index = 0
    while index < len(lines):
        match = START.match(lines[index])
        if match and not lines[index].startswith(("return", "else", "using", "typedef")):
            end = index
            while end < len(lines) and not lines[end].rstrip().endswith(("{", ";")):
                end += 1
            if end < len(lines) and lines[end].rstrip().endswith("{"):
                close = end + 1
                while close < len(lines) and lines[close] != "}":
                    close += 1
                yield match.group(1), index + 1, close - index + 1
                index = close
        index += 1


def main():
    failures = []
    for folder in ("src", "tools"):
        for path in sorted((ROOT / folder).rglob("*.cpp")):
            for name, line, length in functions(path):
                allowed = ALLOWED.get(name, LIMIT)
                if length > allowed:
                    failures.append(f"{path.relative_to(ROOT)}:{line}: {name} is {length} lines")
    for failure in failures:
        print(failure)
    print(f"function length: {'over ' + str(LIMIT) + ' lines found' if failures else 'clean'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
