#!/usr/bin/env python3
"""Writes the compile database clang-tidy reads: one entry per source under src/ and tools/.

GCC's flags that clang does not know are dropped (clang-tidy stops on an unknown argument), and
a file compiled for several targets (the program's sources go into the end-to-end builds too)
is checked once.
"""
import json
import sys

GCC_ONLY = {"-fno-ipa-modref"}

source, target, root = sys.argv[1:4]
seen = set()
kept = []
for entry in json.load(open(source)):
    path = entry["file"]
    if path in seen or not (path.startswith(root + "/src/") or path.startswith(root + "/tools/")):
        continue
    seen.add(path)
    entry["command"] = " ".join(a for a in entry["command"].split(" ") if a not in GCC_ONLY)
    kept.append(entry)
json.dump(kept, open(target, "w"), indent=1)
