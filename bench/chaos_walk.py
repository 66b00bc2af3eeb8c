#!/usr/bin/env python3
"""The chaos walk: RUNS runs of the real wizard (bench/lib/chaos-run.sh), run
SEED+i choosing from its own seed the installer data and where it comes from,
the offers, the notification-area campaign, SkipFinishedPage, the server's
answer to every request of the payload and the offers, and the person's
actions (WizardDriver chaos). After each run the invariants below are checked;
every violation is printed with the seed that repeats the run
(bench/chaos-walk.sh 1 SEED). JOBS runs go side by side, each in its own
display, prefix and server.
"""
import argparse
import collections
import concurrent.futures
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

# From the person's last action to the end of the process. The end of a run
# waits, at most: 2 s after Finish before the window closes (4 s when the
# registration page opens), 10 s for the controller to leave its step, 3 s for
# tracking events on their way; a download blocked in a read waits for
# WinHTTP's receive timeout (30 s, the downloads set no other) before a
# cancel is seen. 30 + 10 + 4 + 3 = 47 s; 60 s leaves room for a loaded machine.
END_BOUND_MS = 60000
# A whole run (prefix, server, display, the walk's own 300-s limit and the
# checks) ends well within this; one that does not is ended and reported.
RUN_LIMIT_S = 480

PAYLOAD_SIZE = 262144  # about the size of the test package; break points fall inside it


def request_faults(rng, kinds):
    """The server's answers to the successive requests of one path."""
    faults = []
    for _ in range(rng.choice([0, 0, 1, 1, 2, 3])):
        kind = rng.choice(kinds)
        at = rng.randint(1, PAYLOAD_SIZE // 2)
        if kind == "normal":
            faults.append({})
        elif kind == "trickle":
            faults.append({"trickle_ms": rng.randint(50, 300)})
        elif kind == "stall":
            faults.append({"stall_after": at, "stall_ms": rng.randint(500, 4000)})
        elif kind == "reset":
            faults.append({"close_after": at, "reset": True})
        elif kind == "404":
            faults.append({"status": 404})
        elif kind == "500":
            faults.append({"status": 500})
        elif kind == "wrong-length":
            faults.append({"close_after": at, "content_length": rng.choice([at // 2 + 1, 3 * PAYLOAD_SIZE])})
        elif kind == "changed":
            faults.append({"close_after": at, "change_file": True})
    return faults


FAULT_KINDS = ["normal", "trickle", "stall", "reset", "404", "500", "wrong-length", "changed"]


def choose(seed):
    """Everything one run does, from its seed."""
    rng = random.Random(seed)
    data = ["@upl=chaos+walk"]
    offers = rng.choice([0, 1, 2])
    data.append("MaxOffers=%d" % offers)
    if offers:
        data += ["NoxOffer=enabled", "GearfreshOffer=enabled"]
    track = rng.choice([None, None, "NOX00010", "NOX00011", "NOX00012"])
    if track:
        data.append("track=" + track)
    build = ["PageOrder=" + rng.choice(["CWelcomePage,CProgressPage,CFinishedPage",
                                        "CWelcomePage,CLicensePage,CProgressPage,CFinishedPage"])]
    if rng.random() < 0.3:
        build.append("SkipFinishedPage=true")
    source = rng.choice(["trailer", "file", "debug", "server"])
    text = "\r\n".join(data) + "\r\n"
    rpc = {"path": "/rpc/installer-data-update", "status": 200, "delay_ms": rng.choice([0, 300, 1500]), "body": text}
    if source == "server" and rng.random() < 0.2:
        rpc = dict(rpc, status=rng.choice([404, 500]))
    payload = rng.choices(["good", "foreign", "bomb", "missing"], [85, 7, 3, 5])[0]
    return {
        "seed": seed,
        "source": source,
        "data": text,
        "rpc": json.dumps(rpc),
        "build": build,
        "payload": payload,
        "payload_faults": request_faults(rng, FAULT_KINDS),
        "nox_file": rng.choices(["good", "foreign"], [80, 20])[0],
        "gearfresh_file": rng.choices(["good", "foreign"], [80, 20])[0],
        "nox_faults": request_faults(rng, FAULT_KINDS),
        "gearfresh_faults": request_faults(rng, FAULT_KINDS),
        "actions": rng.randint(0, 25),
    }


def parse(output):
    walk = collections.defaultdict(list)
    for line in output.splitlines():
        match = re.match(r"^(fact [^:]+|[a-z-]+) ?([0-9]*): ?(.*)$", line)
        if match:
            walk[match.group(1)].append((match.group(2), match.group(3)))
    return walk


# A key the walk pressed for the page answers an error box that opened in the
# same moment, before the walk saw it (as it would for a person typing ahead):
# the box was shown when the finished page's error variant follows such a key
# within this time.
KEY_ANSWERS_BOX_MS = 1000


def key_answered_box(walk):
    finished = [int(t) for t, _ in walk.get("finished-page", [])]
    if not finished:
        return False
    before = [(int(t), text) for t, text in walk.get("action", []) if int(t) <= finished[0]]
    if not before:
        return False
    at, text = before[-1]
    return text.split(" on ")[0] in ("Enter", "Escape", "Space") and finished[0] - at <= KEY_ANSWERS_BOX_MS


def check(run, output):
    """The violations of one run: (invariant, what)."""
    walk = parse(output)
    problems = []
    found = lambda kind: [text for _, text in walk.get(kind, [])]
    requests = found("fact request")
    outcome = (found("outcome") or ["(the walk did not report)"])[-1]
    end = found("end")
    if "\nrun limit: " in output:
        problems.append(("ends within the bound", output.split("\nrun limit: ", 1)[1].strip()))
    # The process ends within the bound after the last action, by itself.
    if not end:
        problems.append(("ends within the bound", "the walk reported no end"))
        return outcome, None, problems
    match = re.match(r"exit (\d+) after-last-action (-?\d+)(.*)", end[-1])
    code, after, forced = (int(match.group(1)), int(match.group(2)), match.group(3)) if match else (None, None, "?")
    if forced or after is None or after > END_BOUND_MS:
        problems.append(("ends within the bound", "%s ms after the last action%s" % (after, forced)))
    # No crash, no box the design does not show, no window left.
    if code not in (0,):
        problems.append(("no crash", "exit code %s" % code))
    boxes = found("box")
    # An error box the walk answered counts as seen even when it answered it
    # in the moment it appeared, before a look noted it.
    errors = [b for b in boxes if b.startswith("error on")] + [a for a in found("action") if a.startswith("OK on error box")]
    if errors and outcome != "error":
        problems.append(("no unexpected box", "an error box, then %s: %s" % (outcome, errors[0])))
    # An error box over a finished page that is not the error variant: an
    # error reported after the run had already ended otherwise.
    pages = [(int(t), v) for t, v in walk.get("finished-page", [])]
    for t, box in walk.get("box", []):
        if box.startswith("error on finished"):
            shown = [v for at, v in pages if at <= int(t)]
            if not shown or shown[-1] != "error":
                problems.append(("no unexpected box", "an error box over the %s page: %s"
                                 % (shown[-1] if shown else "finished", box)))
    for second in found("second-instance"):
        if "still running" in second or "its own wizard" in second:
            problems.append(("no window left", "a second start: " + second))
    helpers = found("fact helpers")
    if helpers and helpers[0].strip():
        problems.append(("no helper left", helpers[0]))
    # The outcome is consistent.
    installed = found("fact installed") == ["yes"]
    finished_event = any("ev=InstallerFinished&" in r for r in requests)
    cancelled_event = any("description=InstallerCancelled" in r for r in requests)
    error_event = any("ev=Error&" in r for r in requests)
    build = " ".join(run["build"])
    ends_without_page = "SkipFinishedPage=true" in build or "track=NOX0001" in run["data"]
    success = outcome == "success" or (outcome == "no-finished-page" and ends_without_page and installed)
    if success != installed or installed != finished_event:
        problems.append(("success page <=> installed <=> InstallerFinished",
                         "outcome %s, installed %s, InstallerFinished %s" % (outcome, installed, finished_event)))
    if outcome == "interrupted" and (installed or not cancelled_event):
        problems.append(("cancel => nothing installed and InstallerCancelled",
                         "installed %s, InstallerCancelled %s" % (installed, cancelled_event)))
    if outcome == "success" and cancelled_event:
        problems.append(("cancel => nothing installed and InstallerCancelled", "InstallerCancelled after a success"))
    if outcome == "error" and not ((errors or key_answered_box(walk)) and error_event):
        problems.append(("error => error variant and error event",
                         "error box %s, error event %s" % (bool(errors), error_event)))
    if outcome == "no-finished-page" and not ends_without_page:
        problems.append(("success page <=> installed <=> InstallerFinished", "ended without the finished page"))
    for started in found("fact started"):
        offer = "nox" if re.search(r"[\\/]nox[^\\/]*\.exe", started) else "gearfresh" if re.search(r"[\\/]gfp[^\\/]*\.exe", started) else None
        if not offer:
            continue  # the installed application, started by Finish
        downloaded = any(r.startswith("/offers/%s-setup.exe.bz2" % offer) for r in requests)
        if not downloaded or run["%s_file" % offer] != "good" or not installed:
            problems.append(("an offer started => accepted and verified",
                             "%s started: downloaded %s, file %s, payload installed %s"
                             % (offer, downloaded, run["%s_file" % offer], installed)))
    # Nothing left behind.
    for left in found("fact left"):
        problems.append(("nothing left behind", left))
    if found("fact debug value") != ["gone"]:
        problems.append(("nothing left behind", "the debug value: %s" % found("fact debug value")))
    # The run log's last line names the outcome, the one the person saw.
    last = (found("fact log last line") or ["(no run log)"])[0]
    logged = last.split("The program ends: ", 1)[1] if "The program ends: " in last else None
    seen = {"success": "installed", "interrupted": "cancelled by the user", "error": "ended by an error"}
    expected = seen.get(outcome, "installed" if success else None)
    if logged is None or (expected and logged != expected) or (not expected and logged in seen.values()
                                                                 and logged != "installed"):
        problems.append(("run log names the outcome", "%s (the person saw %s)" % (last, outcome)))
    return outcome, after, problems


def run_one(args, seed, folder):
    run = choose(seed)
    path = os.path.join(folder, "run-%d.json" % seed)
    with open(path, "w") as f:
        json.dump(run, f)
    # In a session of its own, so that a run that never ends (a crashed
    # wizard held by the platform's debugger keeps the output open) can be
    # ended with everything it started; its lines so far are checked.
    process = subprocess.Popen(["bash", os.path.join(args.root, "bench/lib/chaos-run.sh"), path],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace",
                               start_new_session=True)
    try:
        output, _ = process.communicate(timeout=RUN_LIMIT_S)
    except subprocess.TimeoutExpired:
        for signal_number in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(process.pid, signal_number)
            except ProcessLookupError:
                break
            time.sleep(5)
        output, _ = process.communicate()
        output += "\nrun limit: the run did not end within %d s and was ended\n" % RUN_LIMIT_S
    if args.keep:
        with open(os.path.join(args.keep, "run-%d.txt" % seed), "w") as f:
            f.write(json.dumps(run, indent=1) + "\n" + output)
    return run, output


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--runs", type=int, required=True)
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--keep", help="a folder for every run's choices and lines")
    args = parser.parse_args()
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    outcomes = collections.Counter()
    violations = collections.Counter()
    slowest = (-1, None)
    lock = threading.Lock()
    with tempfile.TemporaryDirectory() as folder, \
            concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = {pool.submit(run_one, args, args.seed + i, folder): args.seed + i for i in range(args.runs)}
        for future in concurrent.futures.as_completed(futures):
            seed = futures[future]
            run, output = future.result()
            outcome, after, problems = check(run, output)
            with lock:
                outcomes[outcome] += 1
                if after is not None and after > slowest[0]:
                    slowest = (after, seed)
                print("run seed %d: %s, %s ms from the last action to the end, %d violation(s)"
                      % (seed, outcome, after, len(problems)), flush=True)
                for invariant, what in problems:
                    violations[invariant] += 1
                    print("VIOLATION seed %d: %s: %s" % (seed, invariant, what), flush=True)
    print("summary: %d runs (seeds %d to %d)" % (args.runs, args.seed, args.seed + args.runs - 1))
    print("  outcomes: " + ", ".join("%s %d" % kv for kv in sorted(outcomes.items())))
    print("  violations: %d%s" % (sum(violations.values()),
                                   "".join("\n    %s: %d" % kv for kv in sorted(violations.items()))))
    print("  slowest end after the last action: %s ms (seed %s); bound %d ms" % (slowest[0], slowest[1], END_BOUND_MS))
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
