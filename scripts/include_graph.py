#!/usr/bin/env python3
"""Prints the include edges between the source folders, with counts.

    scripts/include_graph.py [--all] [--dot]

Each line is `from -> to  N`: N quoted includes in files of folder `from`
name a header of folder `to`. The library folders are counted by default;
--all adds cli/, python/, tests/, bench/, fuzz/ and examples/. --dot
prints the same graph for Graphviz.
"""
import os
import re
import sys
from collections import Counter

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARY = ["host/tokenizer", "host/geometry", "host/image", "parser", "state", "geometry", "names", "inspect", "export",
           "render"]
OTHERS = ["cli", "python", "tests", "bench", "fuzz", "examples"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def folder_of(path):
    """The folder a file belongs to: the longest known folder prefix."""
    rel = os.path.relpath(path, ROOT).replace(os.sep, "/")
    best = None
    for folder in LIBRARY + OTHERS:
        if rel.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def resolve(including, name, roots):
    """The file a quoted include names: beside the including file, then below each include root."""
    for base in [os.path.dirname(including)] + roots:
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(candidate):
            return candidate
    return None


def main():
    args = sys.argv[1:]
    folders = LIBRARY + (OTHERS if "--all" in args else [])
    # Includes name a header from the repository root (as installed), or
    # from the tests folder for the tests' own headers.
    roots = [ROOT, os.path.join(ROOT, "tests")]
    edges = Counter()
    unresolved = []
    for folder in folders:
        for dirpath, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp", ".hpp")):
                    continue
                path = os.path.join(dirpath, name)
                source = folder_of(path)
                with open(path, encoding="utf-8", errors="replace") as text:
                    for line in text:
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = resolve(path, match.group(1), roots)
                        if target is None:
                            unresolved.append(f"{os.path.relpath(path, ROOT)}: {match.group(1)}")
                            continue
                        destination = folder_of(target)
                        if destination and destination != source:
                            edges[(source, destination)] += 1
    if "--dot" in args:
        print("digraph includes {")
        for (source, destination), count in sorted(edges.items()):
            print(f'  "{source}" -> "{destination}" [label={count}];')
        print("}")
    else:
        for (source, destination), count in sorted(edges.items()):
            print(f"{source:15} -> {destination:15} {count:4}")
    for line in unresolved:
        print(f"unresolved: {line}", file=sys.stderr)


if __name__ == "__main__":
    main()
