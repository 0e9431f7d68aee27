#!/usr/bin/env python3
"""docs/ARCHITECTURE.md against the build: its folder list names each
folder's targets and, after the arrow, the folders whose targets they link;
its drawing shows no link the build does not have.

Usage: architecture_test.py ARCHITECTURE.md architecture_targets.tsv
The second file is written by the top CMakeLists.txt: folder, target and
linked libraries of every library and program of the product.
"""
import os
import re
import sys

BULLET = re.compile(r"^- \*\*`([^`]+/)`\*\* \(([^)]*)\)(?: → ([^:]*))?:")
FOLDER = re.compile(r"`([^`]+/)`")
NAME = re.compile(r"`([^`]+)`")


def read_build(path):
    """{folder: {target}}, {(folder, linked folder)} between different folders."""
    folder_of, links = {}, {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            folder, target, linked = line.rstrip("\n").split("\t")
            folder_of[target] = folder
            links[target] = [name for name in linked.split(";") if name]
    targets = {}
    for target, folder in folder_of.items():
        targets.setdefault(folder, set()).add(target)
    arrows = {(folder_of[t], folder_of[l]) for t, ls in links.items() for l in ls
              if l in folder_of and folder_of[l] != folder_of[t]}
    return targets, arrows


def read_document(path):
    """The list: {folder: (targets, linked folders)}; the drawing's arrows."""
    text = open(path, encoding="utf-8").read()
    listed = {}
    for line in text.splitlines():
        m = BULLET.match(line)
        if m:
            listed[m.group(1)] = (set(NAME.findall(m.group(2))), set(FOLDER.findall(m.group(3) or "")))
    drawing = text.split("```")[1]
    drawn = set()
    for line in drawing.splitlines():
        chain = re.findall(r"([a-z_/]+/)", line)
        parts = line.split("►")
        # A line reads "<folder> ... ──► <folder> ... ──► <folder>": each
        # folder after an arrow is linked by the one before it.
        previous = chain[0] if chain else None
        for part in parts[1:]:
            after = re.findall(r"([a-z_/]+/)", part)
            if previous and after:
                drawn.add((previous, after[0]))
                previous = after[0]
    return listed, drawn


def main():
    listed, drawn = read_document(sys.argv[1])
    targets, arrows = read_build(sys.argv[2])
    problems = []
    for folder in sorted(set(targets) | set(listed)):
        if folder not in listed:
            problems.append(f"{sys.argv[1]}: no entry for {folder}, which holds {sorted(targets[folder])}")
            continue
        if folder not in targets:
            # A folder left out of this build (no Python, no Qt) is not
            # checked, but it must be there.
            if not os.path.isfile(os.path.join(os.path.dirname(sys.argv[1]), "..", folder, "CMakeLists.txt")):
                problems.append(f"{sys.argv[1]}: {folder} is listed, but there is no such folder with targets")
            continue
        named, linked = listed[folder]
        if named != targets[folder]:
            problems.append(f"{sys.argv[1]}: {folder} lists {sorted(named)}; the build has {sorted(targets[folder])}")
        built = {to for (source, to) in arrows if source == folder}
        if linked != built:
            problems.append(f"{sys.argv[1]}: {folder} → {sorted(linked)}; its targets link {sorted(built)}")
    for source, to in sorted(drawn - arrows):
        problems.append(f"{sys.argv[1]}: the drawing shows {source} ──► {to}, which no target links")
    for p in problems:
        print(p)
    if not drawn:
        problems.append("no arrows found in the drawing")
        print(f"{sys.argv[1]}: no arrows found in the drawing")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
