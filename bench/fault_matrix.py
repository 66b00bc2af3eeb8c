#!/usr/bin/env python3
"""Driver of bench/fault-matrix.sh: runs under tests/server/with-server.sh in a
Wine prefix of its own and prints the table of outcomes per scenario."""
import argparse
import collections
import hashlib
import http.client
import json
import os
import random
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "server"))
from stand_in_server import SCENARIOS  # noqa: E402


def control(port, path, body=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    connection.request("POST" if body is not None else "GET", path, body=json.dumps(body) if body else None)
    answer = connection.getresponse().read()
    connection.close()
    return answer


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--check", required=True)
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--size-mib", type=int, default=16)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--temp", required=True, help="the Wine temporary folder as a Unix path")
    args = parser.parse_args()
    port = int(os.environ["WRENSTALL_SERVER_PORT"])
    served = os.path.join(os.environ["WRENSTALL_SERVER_ROOT"], "matrix.bin")
    size = args.size_mib * 1024 * 1024
    rng = random.Random(args.seed)
    rows = collections.OrderedDict((name, collections.Counter()) for name in SCENARIOS)
    wrong, left_behind = [], []
    out_dir = tempfile.mkdtemp()
    out = os.path.join(out_dir, "fetched.bin")
    started = time.time()
    for run in range(args.runs):
        scenario = rng.choice(SCENARIOS)
        break_at = rng.randint(1, size - 1)
        control(port, "/__control/reset", {})
        with open(served, "wb") as f:
            f.write(rng.randbytes(size))
        control(port, "/__control/scenario",
                {"path": "/matrix.bin", "name": scenario, "break_at": break_at, "seed": rng.randrange(1 << 30)})
        if os.path.exists(out):
            os.remove(out)
        before = set(os.listdir(args.temp))
        done = subprocess.run(["wine", args.check, "fetch", "http://127.0.0.1:%d/matrix.bin" % port, windows_path(out)],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        lines = done.stdout.decode(errors="replace").replace("\r", "").strip().splitlines()
        result = lines[-1].split(": ", 1)[-1] if lines else "no result"
        exact = os.path.exists(out) and sha256_of(out) == sha256_of(served)
        if done.returncode == 0 and exact:
            outcome = "exact bytes"
        elif done.returncode == 0:
            outcome = "WRONG BYTES"
            wrong.append((run, scenario, break_at))
        elif result == "0x00000000":
            # The tool printed success but its process ended otherwise.
            outcome = "exit %d after %s (%s bytes)" % (done.returncode, result, "exact" if exact else "other")
        else:
            outcome = "error " + result
        rows[scenario][outcome] += 1
        if set(os.listdir(args.temp)) - before:
            left_behind.append((run, scenario))
        if (run + 1) % 20 == 0:
            sys.stderr.write("fault matrix: %d of %d runs\n" % (run + 1, args.runs))
    elapsed = time.time() - started

    print("fault matrix: %d transfers of %d MiB, seed %d, %.0f s" % (args.runs, args.size_mib, args.seed, elapsed))
    outcomes = sorted({o for counter in rows.values() for o in counter}, key=lambda o: (o != "exact bytes", o))
    header = ["scenario", "runs"] + outcomes
    table = [header] + [[name, str(sum(c.values()))] + [str(c[o]) for o in outcomes] for name, c in rows.items()]
    table.append(["all", str(args.runs)] + [str(sum(c[o] for c in rows.values())) for o in outcomes])
    widths = [max(len(row[i]) for row in table) for i in range(len(header))]
    for number, row in enumerate(table):
        print("| " + " | ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)) + " |")
        if number == 0:
            print("|" + "|".join("-" * (width + 2) for width in widths) + "|")
    print("successes with wrong bytes: %d" % len(wrong))
    for run, scenario, break_at in wrong:
        print("  run %d: %s, break at %d" % (run, scenario, break_at))
    print("runs that left files in the temporary folder: %d" % len(left_behind))
    return 1 if wrong or left_behind else 0


if __name__ == "__main__":
    sys.exit(main())
