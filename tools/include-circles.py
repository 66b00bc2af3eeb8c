#!/usr/bin/env python3
"""Measures the include circles of the program's sources.

An include circle is a set of files that all reach one another through
quoted #include lines (a strongly connected component of the include graph).
A header and the source file of the same name are one unit: the source
implements what the header declares, so a source that includes a header
whose source includes the first header back closes a circle. Prints the
number of files in the largest circle and its units; --all prints every
circle of two or more units.

Usage: tools/include-circles.py [--all] [repository root]
"""
import os
import re
import sys

SOURCE_FOLDERS = ["app", "config", "engine", "framework", "http", "payload", "resources", "services", "ui", "tools"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def source_files(root):
    for folder in SOURCE_FOLDERS:
        for directory, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if name.endswith((".h", ".cpp", ".hpp", ".inl")):
                    yield os.path.relpath(os.path.join(directory, name), root).replace(os.sep, "/")


def include_graph(root):
    files = set(source_files(root))
    graph = {}
    for path in files:
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as stream:
            text = stream.read()
        targets = set()
        for name in INCLUDE.findall(text):
            # Includes are written from the repository root; a bare name is beside the file.
            for candidate in (name, os.path.normpath(os.path.join(os.path.dirname(path), name)).replace(os.sep, "/")):
                if candidate in files:
                    targets.add(candidate)
                    break
        graph[path] = sorted(targets)
    return graph


def strongly_connected(graph):
    """Tarjan's algorithm, iterative (deep include chains must not hit the recursion limit)."""
    index_of, low, on_stack, stack, components = {}, {}, set(), [], []
    counter = 0
    for start in sorted(graph):
        if start in index_of:
            continue
        work = [(start, iter(graph[start]))]
        index_of[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index_of:
                    index_of[child] = low[child] = counter
                    counter += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(graph[child])))
                    advanced = True
                    break
                if child in on_stack:
                    low[node] = min(low[node], index_of[child])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index_of[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                components.append(sorted(component))
    return components


def unit_graph(graph):
    """The include graph with each header and its same-named source merged."""
    unit_of = lambda path: os.path.splitext(path)[0]
    units, members = {}, {}
    for path, targets in graph.items():
        unit = unit_of(path)
        members.setdefault(unit, []).append(path)
        units.setdefault(unit, set()).update(unit_of(t) for t in targets if unit_of(t) != unit)
    return {unit: sorted(targets) for unit, targets in units.items()}, members


def main(arguments):
    show_all = "--all" in arguments
    rest = [argument for argument in arguments if argument != "--all"]
    root = rest[0] if rest else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    units, members = unit_graph(include_graph(root))
    files_in = lambda circle: sum(len(members[unit]) for unit in circle)
    circles = [c for c in strongly_connected(units) if len(c) > 1]
    circles.sort(key=files_in, reverse=True)
    largest = circles[0] if circles else []
    print(f"largest include circle: {files_in(largest)} files")
    for unit in (largest if not show_all else []):
        print("  " + " ".join(sorted(members[unit])))
    if show_all:
        for circle in circles:
            print(f"circle of {files_in(circle)} files: " + " ".join(circle))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
