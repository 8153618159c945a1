#!/usr/bin/env python3
"""Programs the simulated board 100 times with vormex-cli and prints the runs
per second and the peak memory of one run.

    bench/cli_program.py [path/to/vormex-cli] [runs]

Each run is a whole process, as a production line script starts it: a
PIC16F84A image with every program word, EEPROM and configuration in use is
programmed (erase, program, verify, configuration) into the chip kept in a
state file, with --yes so every run after the first overwrites.
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "src", "cli", "vormex-cli")
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 100
DATABASE = os.path.join(HERE, "..", "data", "device.ini")


def record(address, data):
    raw = [len(data), address >> 8, address & 0xFF, 0] + data
    return ":" + "".join("%02X" % b for b in raw) + "%02X" % (-sum(raw) & 0xFF)


def full_image():
    lines = []
    for first in range(0, 1024, 8):
        data = []
        for word in range(first, first + 8):
            value = (word * 37 + 0x1234) & 0x3FFF
            data += [value & 0xFF, value >> 8]
        lines.append(record(2 * first, data))
    for first in range(0, 64, 8):
        lines.append(record(0x4200 + 2 * first, sum(([(first + i) & 0xFF, 0] for i in range(8)), [])))
    lines.append(record(0x4000, [1, 0, 2, 0, 3, 0, 4, 0]))
    lines.append(record(0x400E, [0xF1, 0x3F]))
    lines.append(":00000001FF")
    return "\r\n".join(lines) + "\r\n"


def main():
    if not os.access(CLI, os.X_OK):
        sys.exit("vormex-cli not found at %s; build it first (./run.sh --cli --help)" % CLI)
    with tempfile.TemporaryDirectory() as folder:
        hex_path = os.path.join(folder, "full.hex")
        with open(hex_path, "w", newline="") as f:
            f.write(full_image())
        ini = os.path.join(folder, "device.ini")
        with open(DATABASE, "rb") as src, open(ini, "wb") as dst:
            dst.write(src.read())
        command = [CLI, "--ini", ini, "--settings", os.path.join(folder, "settings.ini"),
                   "--port", "sim", "--sim-state", os.path.join(folder, "chip.sim"),
                   "--device", "PIC16F84A", "--yes", "program", hex_path]
        start = time.monotonic()
        for run in range(RUNS):
            result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if result.returncode != 0:
                sys.exit("run %d failed with exit status %d:\n%s%s" % (
                    run + 1, result.returncode, result.stdout.decode(errors="replace"),
                    result.stderr.decode(errors="replace")))
        elapsed = time.monotonic() - start
        children = resource.getrusage(resource.RUSAGE_CHILDREN)
        # Every child ran the same work, so the largest is the peak of one run.
        peak_kib = children.ru_maxrss
        cpu = children.ru_utime + children.ru_stime
    print("runs:              %d" % RUNS)
    print("total time:        %.2f s" % elapsed)
    print("runs per second:   %.1f" % (RUNS / elapsed))
    print("cpu time per run:  %.1f ms" % (1000.0 * cpu / RUNS))
    print("peak memory (run): %.1f MiB" % (peak_kib / 1024.0))


if __name__ == "__main__":
    main()
