#!/usr/bin/env python3
"""A production line on one PC: N stations, each a vormex-cli process
programming its own tools/boardsim board (paced at 9600 baud as a real
board) with serial numbers from one run, on SQLite and on a throwaway
PostgreSQL server. Prints chips per hour and the ratio to N times one
station, and every exit status that was not 0.

    bench/line.py [BUILD_DIR] [--stations 1,4,8,16] [--chips 5] [--stores sqlite,postgresql]

A station that ends in exit status 4 gave up on its board; on a PC busy
with other work that must still not happen while the board answers.
"""
import argparse
import collections
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATABASE = os.path.join(HERE, "..", "data", "device.ini")
DEVICE = "PIC16F84A"


def record(address, data):
    raw = [len(data), address >> 8, address & 0xFF, 0] + data
    return ":" + "".join("%02X" % b for b in raw) + "%02X" % (-sum(raw) & 0xFF)


def image():
    """256 program words in use; the serial number goes to words 0x3F0/0x3F1."""
    lines = []
    for first in range(0, 256, 8):
        data = []
        for word in range(first, first + 8):
            value = (word * 37 + 0x1234) & 0x3FFF
            data += [value & 0xFF, value >> 8]
        lines.append(record(2 * first, data))
    lines.append(record(0x400E, [0xF1, 0x3F]))
    lines.append(":00000001FF")
    return "\r\n".join(lines) + "\r\n"


def server_bin():
    root = "/usr/lib/postgresql"
    for version in sorted(os.listdir(root), reverse=True) if os.path.isdir(root) else []:
        bin_dir = os.path.join(root, version, "bin")
        if os.access(os.path.join(bin_dir, "pg_ctl"), os.X_OK):
            return bin_dir
    return None


class Server:
    """A throwaway PostgreSQL server on a socket in its own folder, as the tests start one."""

    def __init__(self):
        self.bin = server_bin()
        if not self.bin:
            raise RuntimeError("the PostgreSQL server binaries are not installed")
        self.dir = tempfile.mkdtemp(prefix="vormex-line-pg-")
        os.chmod(self.dir, 0o755)
        self.user = pwd.getpwnam("postgres") if os.geteuid() == 0 else None
        if self.user:
            os.chown(self.dir, self.user.pw_uid, self.user.pw_gid)
        log = os.path.join(self.dir, "server.log")
        self.run("initdb", "-D", self.dir + "/data", "-U", "vormex", "--auth=trust", "--no-sync", "-E", "UTF8",
                 "--locale=C")
        self.run("pg_ctl", "-D", self.dir + "/data", "-l", log, "-w", "-o",
                 "-k %s -c listen_addresses= -p 5432 -c max_connections=100" % self.dir, "start")

    def run(self, tool, *args):
        kwargs = {"user": self.user.pw_uid, "group": self.user.pw_gid} if self.user else {}
        subprocess.run([os.path.join(self.bin, tool)] + list(args), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, **kwargs)

    def database(self, name):
        subprocess.run([os.path.join(self.bin, "psql"), "-h", self.dir, "-U", "vormex", "-d", "postgres", "-q",
                        "-c", "CREATE DATABASE %s" % name], check=True)
        return "postgresql:///%s?host=%s&port=5432&user=vormex" % (name, self.dir)

    def stop(self):
        self.run("pg_ctl", "-D", self.dir + "/data", "-m", "immediate", "-w", "stop")
        shutil.rmtree(self.dir, ignore_errors=True)


def line(build, folder, store, stations, chips):
    """Seconds for the whole line and the exit statuses of every chip."""
    cli = os.path.join(build, "src", "cli", "vormex-cli")
    boardsim = os.path.join(build, "tools", "boardsim", "boardsim")
    ini = os.path.join(folder, "device.ini")
    hex_path = os.path.join(folder, "line.hex")
    subprocess.run([cli, "serial", store, "--quantity", str(stations * chips), "--address", "0x3F0", "--bytes", "2"],
                   check=True, stdout=subprocess.DEVNULL)
    boards = []
    for n in range(stations):
        board = subprocess.Popen([boardsim, "--device", DEVICE, "--ini", ini], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, text=True)
        boards.append((board, board.stdout.readline().strip()))
    statuses = collections.Counter()
    lock = threading.Lock()

    def station(n, port):
        for _ in range(chips):
            result = subprocess.run([cli, "--ini", ini, "--settings", os.path.join(folder, "s%d.ini" % n),
                                     "--port", port, "--device", DEVICE, "--yes", "program", hex_path,
                                     "--serial", store], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with lock:
                statuses[result.returncode] += 1

    threads = [threading.Thread(target=station, args=(n, port)) for n, (_, port) in enumerate(boards)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - start
    for board, _ in boards:
        board.terminate()
        board.wait()
    return elapsed, statuses


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--stations", default="1,4,8,16")
    parser.add_argument("--chips", type=int, default=5)
    parser.add_argument("--stores", default="sqlite,postgresql")
    args = parser.parse_args()
    counts = [int(n) for n in args.stations.split(",")]
    server = None
    print("%-11s %8s %8s %12s %7s  %s" % ("store", "stations", "chips", "chips/hour", "ratio", "exit statuses"))
    for kind in args.stores.split(","):
        if kind == "postgresql":
            try:
                server = Server()
            except (RuntimeError, subprocess.CalledProcessError) as e:
                print("%-11s skipped: %s" % (kind, e))
                continue
        single = None
        for stations in counts:
            with tempfile.TemporaryDirectory() as folder:
                shutil.copy(DATABASE, os.path.join(folder, "device.ini"))
                with open(os.path.join(folder, "line.hex"), "w", newline="") as f:
                    f.write(image())
                store = (server.database("line%d" % stations) if kind == "postgresql"
                         else os.path.join(folder, "run.db"))
                elapsed, statuses = line(args.build, folder, store, stations, args.chips)
            rate = statuses[0] * 3600.0 / elapsed
            single = single or rate / stations
            others = " ".join("%d×%d" % (n, code) for code, n in sorted(statuses.items()) if code != 0)
            print("%-11s %8d %8d %12.0f %6.2f×  %s" % (kind, stations, sum(statuses.values()), rate,
                                                      rate / single, others or "all 0"))
        if server:
            server.stop()
            server = None
    return 0


if __name__ == "__main__":
    sys.exit(main())
