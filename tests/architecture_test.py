#!/usr/bin/env python3
"""docs/ARCHITECTURE.md against the build: its folder list names each
folder's targets and, after the arrow, the folders whose targets they link;
its drawing shows no link the build does not have; every source file of a
folder opens only the namespace its section "Namespaces" gives the folder.

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
NAMESPACE_ENTRY = re.compile(r"^- ((?:`[^`]+/`(?:, )?)+): `(veldra::[a-z_]+)`$")
OPENED = re.compile(r"^namespace (veldra(?:::\w+)*) \{", re.MULTILINE)
SOURCES = (".h", ".cpp", ".in")


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


def namespace_problems(document):
    """Source files that open another namespace than their folder's."""
    text = open(document, encoding="utf-8").read()
    section = text.split("## Namespaces", 1)[1].split("\n## ", 1)[0] if "## Namespaces" in text else ""
    owner = {}
    for line in section.splitlines():
        m = NAMESPACE_ENTRY.match(line)
        if m:
            for folder in FOLDER.findall(m.group(1)):
                owner[folder] = m.group(2)
    if not owner:
        return [f"{document}: no section \"Namespaces\" listing the folders' namespaces"]
    root = os.path.join(os.path.dirname(document), "..")
    problems = []
    for folder, namespace in sorted(owner.items()):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            problems.append(f"{document}: {folder} has a namespace but there is no such folder")
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith(SOURCES):
                continue
            with open(os.path.join(path, name), encoding="utf-8") as f:
                for opened in OPENED.findall(f.read()):
                    if opened != namespace and not opened.startswith(namespace + "::"):
                        problems.append(f"{folder}{name}: opens namespace {opened}; the folder's is {namespace}")
    return problems


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
    problems += namespace_problems(sys.argv[1])
    for p in problems:
        print(p)
    if not drawn:
        problems.append("no arrows found in the drawing")
        print(f"{sys.argv[1]}: no arrows found in the drawing")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
