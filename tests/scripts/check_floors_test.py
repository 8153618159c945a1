#!/usr/bin/env python3
"""The floor check passes on a tree that keeps the order and names the one
include that breaks it, up a floor, across a floor or into a folder without
one, and the one loop between the modules of a folder."""
import pathlib
import subprocess
import sys
import tempfile

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check_floors.py"


def run(files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        done = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
        return done.returncode, done.stdout


good = {
    "base/seams.h": "#pragma once\n",
    "session/session.h": '#include "base/seams.h"\n#include "session/other.h"\n',
    "session/session.cpp": '#include "session/session.h"\n',
    "session/other.h": "#pragma once\n",
    "session/other.cpp": '#include "session/other.h"\n#include "base/seams.h"\n',
    "ui/window.cpp": '#include "session/session.h"\n#include "window.moc"\n',
}
failures = []
code, out = run(good)
if code != 0:
    failures.append(f"a tree in order was refused: {out}")
for changes, expected in [
    ({"session/up.cpp": '#include "ops/workflows.h"\n'}, "session/up.cpp: includes ops/workflows.h, up from floor 2 to 5"),
    ({"device/across.cpp": '#include "sim/simboard.h"\n'}, "device/across.cpp: includes sim/simboard.h, across floor 3"),
    ({"ops/nowhere.cpp": '#include "misc/helper.h"\n'}, "folder 'misc' has no floor"),
    ({"misc/helper.h": "#pragma once\n"}, "folder 'misc' has no floor"),
    # session.h includes other.h, so other.cpp may not include session.h
    ({"session/other.cpp": '#include "session/session.h"\n'}, "session/: include loop between other, session"),
    # a loop of three headers is one loop, each of them named once
    ({"session/third.h": '#include "session/session.h"\n', "session/other.h": '#include "session/third.h"\n'},
     "session/: include loop between other, session, third (other -> third -> session -> other)"),
]:
    code, out = run({**good, **changes})
    if code != 1 or expected not in out or len(out.splitlines()) != 1:
        failures.append(f"{changes}: exit {code}, printed {out!r}, expected one line with {expected!r}")
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
