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

Usage: check_floors.py [SRC_DIR]   (default: src/ beside this script's folder)
Prints every include that breaks the rule and exits 1 when there is one.
"""
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


def violations(src: pathlib.Path):
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        folder = path.relative_to(src).parts[0]
        where = f"{path.relative_to(src)}"
        if folder not in FLOOR:
            yield f"{where}: folder '{folder}' has no floor"
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
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


def main(argv):
    src = pathlib.Path(argv[1]) if len(argv) > 1 else pathlib.Path(__file__).resolve().parent.parent / "src"
    found = list(violations(src))
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) break the floors of {src}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
