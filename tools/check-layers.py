#!/usr/bin/env python3
"""Checks the library graph: no source file includes a header of a library its target does not
depend on, directly or through other libraries.

    tools/check-layers.py <configured build folder>

The graph comes from CMake itself (cmake --graphviz over the build folder): a target may use its
own headers and those of every library it links, directly or transitively. Which target a
compiled file belongs to comes from the build's compile_commands.json; a header belongs to the
library whose sources live in the header's own folder ("render/gl/x.h" is qz_render_gl's,
"render/x.h" qz_render's). Tests, benchmarks and fuzz targets are the executables they are.

Headers of a library are checked against that library's dependencies, wherever they are included
from; a header in a folder without a library (a test's own helper header) is checked for every
target that includes it. Only includes by path in quotes count; system headers are not ours.
Prints one line per include that crosses the graph upward and exits 1 when there is any.
"""

import json
import os
import re
import subprocess
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
OBJECT_DIR = re.compile(r'CMakeFiles/([^/\s]+)\.dir/')
EDGE = re.compile(r'//\s*(\S+)\s*->\s*(\S+)\s*$')


def link_graph(build):
    """Direct link edges of every target, read from CMake's graphviz output."""
    edges = {}
    with tempfile.TemporaryDirectory() as tmp:
        dot = os.path.join(tmp, "graph.dot")
        subprocess.run(["cmake", "--graphviz=" + dot, "."], cwd=build, check=True,
                       stdout=subprocess.DEVNULL)
        with open(dot) as f:
            for line in f:
                m = EDGE.search(line)
                if m:
                    edges.setdefault(m.group(1), set()).add(m.group(2))
    return edges


def closure(edges, target):
    seen, todo = {target}, [target]
    while todo:
        for dep in edges.get(todo.pop(), ()):
            if dep not in seen:
                seen.add(dep)
                todo.append(dep)
    return seen


def compiled_files(build, root):
    """(source path relative to root, target) of every file the build compiles."""
    with open(os.path.join(build, "compile_commands.json")) as f:
        commands = json.load(f)
    files = []
    for entry in commands:
        m = OBJECT_DIR.search(entry.get("output", "") or entry.get("command", ""))
        path = os.path.relpath(os.path.realpath(entry["file"]), root)
        if m and not path.startswith(".."):
            files.append((path, m.group(1)))
    return files


def library_folders(files):
    """Folder -> library, for every library target that compiles sources there."""
    folders = {}
    for path, target in files:
        if not target.startswith("qz_"):
            continue
        folders.setdefault(os.path.dirname(path), set()).add(target)
    owners = {}
    for folder, targets in folders.items():
        if len(targets) == 1:
            owners[folder] = targets.pop()
    return owners


def includes_of(root, path, cache):
    if path not in cache:
        try:
            with open(os.path.join(root, path), errors="replace") as f:
                text = f.read()
        except OSError:
            text = ""
        found = []
        for name in INCLUDE.findall(text):
            # Includes are by path from the project root; a bare name is the file's own folder.
            for candidate in (name, os.path.join(os.path.dirname(path), name)):
                candidate = os.path.normpath(candidate)
                if os.path.isfile(os.path.join(root, candidate)):
                    found.append(candidate)
                    break
        cache[path] = found
    return cache[path]


def main():
    if len(sys.argv) != 2:
        print("usage: check-layers.py <configured build folder>", file=sys.stderr)
        return 2
    build = os.path.realpath(sys.argv[1])
    root = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
    edges = link_graph(build)
    files = compiled_files(build, root)
    owners = library_folders(files)
    cache, reach, faults = {}, {}, set()

    def allowed(target):
        if target not in reach:
            reach[target] = closure(edges, target)
        return reach[target]

    def check(path, target, visited):
        """Walks the includes of path as seen from target; library headers stop the walk
        (they are checked as their own library's)."""
        for header in includes_of(root, path, cache):
            owner = owners.get(os.path.dirname(header))
            if owner is None:
                if (header, target) not in visited:
                    visited.add((header, target))
                    check(header, target, visited)
            elif owner not in allowed(target):
                faults.add("%s (%s) includes %s of %s, which %s does not link"
                           % (path, target, header, owner, target))

    visited = set()
    for path, target in files:
        check(path, target, visited)
    for folder, library in owners.items():
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if name.endswith(".h"):
                check(os.path.join(folder, name), library, visited)

    for line in sorted(faults):
        print("check-layers: " + line)
    if faults:
        print("check-layers: %d include(s) from a lower library to a higher one" % len(faults))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
