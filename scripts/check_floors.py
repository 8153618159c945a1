#!/usr/bin/env python3
"""The floors of src/: a folder includes its own headers and those of lower
floors only; folders on one floor do not include each other.

    floor 0  base                              seams, typed settings, window placement, text helpers
    floor 1  link                              wire vocabulary, BoardLink, port mapping
    floor 2  session                           Session and its records, note, progress, busy rule
    floor 3  device, sim                       device.ini; the simulated board
    floor 4  image                             chip image, HEX files, grid, device selection, history
    floor 5  ops                               board search, board operations, workflows, verdict log
    floor 6  disasm, serialization, toolchain
    floor 7  app                               start-up and ending, menus, the port window's model
    floor 8  qtplatform                        Qt implementations of the seams
    floor 9  cli, ui                           the front ends

Inside a folder the includes run one way too: no loop between its modules.
A module is a header and the .cpp of the same name (display.h + display.cpp),
so a .cpp including its own header is no loop, while display.cpp including
grid.h and grid.cpp including display.h is one: neither module can be read,
built or tested without the other. A .cpp without a header of its name is a
module nobody includes, so it never closes a loop.

Usage: check_floors.py [SRC_DIR]   (default: src/ beside this script's folder)
Prints every include that breaks the rule and every loop inside a folder, and
exits 1 when there is one.
"""
import collections
import pathlib
import re
import sys

FLOORS = [
    ["base"],
    ["link"],
    ["session"],
    ["device", "sim"],
    ["image"],
    ["ops"],
    ["disasm", "serialization", "toolchain"],
    ["app"],
    ["qtplatform"],
    ["cli", "ui"],
]
FLOOR = {folder: n for n, folders in enumerate(FLOORS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def sources(src: pathlib.Path):
    """Each source file as (path, folder, the includes it names)."""
    for path in sorted(src.rglob("*")):
        if path.suffix in (".h", ".cpp") and path.is_file():
            text = path.read_text(encoding="utf-8", errors="replace")
            yield path, path.relative_to(src).parts[0], INCLUDE.findall(text)


def violations(src: pathlib.Path):
    for path, folder, includes in sources(src):
        where = f"{path.relative_to(src)}"
        if folder not in FLOOR:
            yield f"{where}: folder '{folder}' has no floor"
            continue
        for target in includes:
            if "/" not in target:
                continue  # generated files beside the source (moc, ui)
            to = target.split("/")[0]
            if to == folder:
                continue
            if to not in FLOOR:
                yield f"{where}: includes {target}, folder '{to}' has no floor"
            elif FLOOR[to] > FLOOR[folder]:
                yield f"{where}: includes {target}, up from floor {FLOOR[folder]} to {FLOOR[to]}"
            elif FLOOR[to] == FLOOR[folder]:
                yield f"{where}: includes {target}, across floor {FLOOR[folder]}"


def loops(src: pathlib.Path):
    """One line per group of modules of one folder that include one another,
    with one way round the loop."""
    uses = collections.defaultdict(set)  # folder/module -> modules of that folder it includes
    for path, folder, includes in sources(src):
        module = f"{folder}/{path.stem}"
        uses[module]
        for target in includes:
            to = str(pathlib.PurePosixPath(target).with_suffix(""))
            if to.startswith(folder + "/") and to.count("/") == 1 and to != module:
                uses[module].add(to)
    reach = {module: reachable(module, uses) for module in uses}
    groups = {frozenset(m for m in reach[module] if module in reach[m]) for module in uses}
    for group in sorted(sorted(g) for g in groups if len(g) > 1):
        folder = group[0].split("/")[0]
        names = ", ".join(m.split("/")[1] for m in group)
        way = " -> ".join(m.split("/")[1] for m in way_round(group[0], set(group), uses))
        yield f"{folder}/: include loop between {names} ({way})"


def reachable(start, graph):
    """Every module start leads to, itself included only through a loop."""
    seen, todo = set(), list(graph[start])
    while todo:
        module = todo.pop()
        if module not in seen:
            seen.add(module)
            todo.extend(graph[module])
    return seen


def way_round(start, group, graph):
    """The shortest way from start back to itself inside the group."""
    before = {start: None}
    queue = collections.deque([start])
    while queue:
        module = queue.popleft()
        for step in sorted(graph[module]):
            if step == start:
                way = [module]
                while before[way[-1]] is not None:
                    way.append(before[way[-1]])
                return way[::-1] + [start]
            if step in group and step not in before:
                before[step] = module
                queue.append(step)
    raise AssertionError("modules that reach one another have a way round")


def main(argv):
    src = pathlib.Path(argv[1]) if len(argv) > 1 else pathlib.Path(__file__).resolve().parent.parent / "src"
    found = list(violations(src))
    looped = list(loops(src))
    for line in found + looped:
        print(line)
    if found:
        print(f"{len(found)} include(s) break the floors of {src}", file=sys.stderr)
    if looped:
        print(f"{len(looped)} loop(s) inside folders of {src}", file=sys.stderr)
    return 1 if found or looped else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
