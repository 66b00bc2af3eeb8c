#!/usr/bin/env python3
"""The closing account of scripts/run, from what the demo gathered in its
folder: the stand-in server's request record, the registry after the run
(reg query output), the stand-ins' start records and the driver's output.
Exits 0 when Kelvora was installed and the walk ended well, else 1 with the
reason."""
import argparse
import os
import re
import sys
import urllib.parse

# Parameters every tracking event carries; the summary shows the others.
COMMON_PARAMETERS = {"upl", "machineId", "installId", "installer", "installerVersion", "product", "platformOS",
                     "platformOSVersion"}
OFFER_NAMES = {"nox-offer": "Nox offer (Velmora Cleaner Plus)", "gearfresh-offer": "Gearfresh offer"}
PRODUCT_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwell Utilities Inc"


def read_lines(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return [line.rstrip("\r\n") for line in f]
    except OSError:
        return []


def requests(path):
    """(target, body) of every request the server received, oldest first."""
    out = []
    for line in read_lines(path):
        fields = line.split("\t")
        if len(fields) < 2:
            continue
        target = bytes.fromhex(fields[1]).decode(errors="replace")
        body = bytes.fromhex(fields[4]).decode(errors="replace") if len(fields) > 4 else ""
        out.append((fields[0], target, body))
    return out


def registry_values(path):
    """{(key, name): (type, data)} from `reg query /s` output."""
    values, key = {}, None
    for line in read_lines(path):
        if line.startswith("HKEY_"):
            key = line.strip()
            continue
        match = re.match(r"^\s+(.*?)\s+(REG_[A-Z_]+)\s*(.*)$", line)
        if key and match:
            values[(key, match.group(1))] = (match.group(2), match.group(3).strip())
    return values


def guid_text(binary_hex):
    """The 36-character text of a GUID stored as its 16 bytes (REG_BINARY)."""
    data = bytes.fromhex(binary_hex)
    if len(data) != 16:
        return None
    d1, d2, d3 = int.from_bytes(data[0:4], "little"), int.from_bytes(data[4:6], "little"), int.from_bytes(data[6:8], "little")
    return "%08X-%04X-%04X-%s-%s" % (d1, d2, d3, data[8:10].hex().upper(), data[10:16].hex().upper())


def identifier(values, key, name):
    entry = values.get((key, name))
    if not entry:
        return "not recorded"
    kind, data = entry
    if kind == "REG_BINARY":
        return guid_text(data) or "unreadable (%d bytes)" % (len(data) // 2)
    return data


# What each event means, for someone who has not read the tracking design.
EVENT_MEANINGS = {
    "InstallerInvoked": "the wizard started",
    "InstallerAccepted": "the user accepted the licence; the download is under way",
    "InstallerFinished": "Kelvora was installed",
    "InstallerFinishedButton": "the user pressed Finish",
    "TrackEvent": "a step of the install scan or of the finish",
    "Error": "an error",
}


def explain_parameter(name, value):
    """A parameter of an event in words (None: nothing worth saying)."""
    if name == "msBclVersion":
        return "no .NET Framework found on this machine" if value == "NoneInstalled" else ".NET Framework " + value
    if name == "productVersion":
        return "version " + value
    if name in ("description", "result"):
        return value
    return "%s %s" % (name, value)


def tracking_events(all_requests):
    """[(raw, in words)] of every tracking event the server received."""
    events = []
    for _method, target, _body in all_requests:
        parts = urllib.parse.urlsplit(target)
        query = urllib.parse.parse_qsl(parts.query, keep_blank_values=True)
        names = dict(query)
        if "ev" not in names:
            continue
        extra = [(k, v) for k, v in query if k != "ev" and k not in COMMON_PARAMETERS]
        raw = names["ev"] + (" (" + ", ".join("%s=%s" % kv for kv in extra) + ")" if extra else "")
        words = [w for w in (explain_parameter(k, v) for k, v in extra) if w]
        meaning = EVENT_MEANINGS.get(names["ev"], "")
        told = names["ev"] + (": " + meaning if meaning else "") + (" (" + ", ".join(words) + ")" if words else "")
        events.append((raw, told))
    return events


def main():
    parser = argparse.ArgumentParser()
    for name in ("demo", "walk", "status", "installed", "installed-windows", "browser-record", "run-log",
                 "screenshots", "log"):
        parser.add_argument("--" + name, default="")
    args = parser.parse_args()

    all_requests = requests(os.path.join(args.demo, "requests.txt"))
    values = registry_values(os.path.join(args.demo, "registry.txt"))
    driver = read_lines(os.path.join(args.demo, "driver.txt"))
    started = read_lines(os.path.join(args.demo, "started.txt"))
    installed = os.path.isfile(args.installed)
    failures = [line[len("FAIL"):].lstrip(": ") for line in driver if line.startswith("FAIL")]

    reasons = ["the wizard showed the error \"%s\"" % line.split(":", 1)[1].strip()
               for line in driver if line.startswith("error message:")]
    if not installed:
        reasons.append("Kelvora.exe is not at " + args.installed_windows)
    if args.status not in ("0", ""):
        reasons.append(args.walk)
    reasons += failures
    ok = not reasons
    events = tracking_events(all_requests)
    if not ok:
        reasons += ["the wizard reported " + raw for raw, _told in events if raw.startswith("Error")]
    # The raw values behind the lines below, for whoever digs further.
    details = ["Tracking events as received: " + raw for raw, _told in events]
    details += ["Recorded start: " + line for line in started]

    print()
    print("=== Summary")
    print("Result:        " + ("Kelvora installed; " + args.walk if ok else "FAILED: " + "; ".join(reasons)))
    version = "unknown version"
    uninstall = registry_values(os.path.join(args.demo, "uninstall.txt"))
    for (key, name), (_kind, data) in uninstall.items():
        if name == "DisplayName" and data == "Kelvora":
            version = uninstall.get((key, "DisplayVersion"), ("", "unknown version"))[1]
    if installed:
        print("Kelvora:       %s, version %s" % (args.installed_windows, version))
    app_starts = [line for line in started if "Kelvora.exe" in line]
    if app_starts:
        print("               started at Finish (its command line is at the end of the script log)")

    offer_gets = [target for method, target, _ in all_requests if method == "GET" and target.startswith("/offers/")]
    offer_starts = [line for line in started if "Kelvora.exe" not in line]
    accepted = [line.split(":", 1)[1].split()[0] for line in driver if line.startswith("offer page:")]
    if accepted or offer_gets or offer_starts:
        outcome = OFFER_NAMES.get(accepted[0], accepted[0]) if accepted else "The offer"
        outcome += " accepted; downloaded" if offer_gets else " accepted; not downloaded"
        outcome += "; its setup was started (its command line is at the end of the script log)" if offer_starts else "; its setup was not started"
        print("Offer:         " + outcome)
    else:
        print("Offer:         none accepted; nothing was downloaded for an offer")

    print("MachineID:     " + identifier(values, PRODUCT_KEY, "MachineID") + " (this machine, kept in the registry)")
    print("Installation:  " + identifier(values, PRODUCT_KEY + r"\Kelvora\Registration", "InstallationID") +
          " (InstallationID, this installation)")

    print("Tracking events, in the order the server received them:")
    for number, (_raw, told) in enumerate(events, 1):
        print("  %2d. %s" % (number, told))
    if not events:
        print("      none")

    opened = read_lines(args.browser_record)
    if opened:
        url = opened[0].split("\t")[-1].split('" "', 1)[-1].rstrip('"')
        print("Registration:  " + url + " (opened in the stand-in browser)")
    else:
        print("Registration:  no page opened")
    if args.screenshots:
        print("Screenshots:   " + args.screenshots)
    print("Run log:       " + (args.run_log or "not found"))
    print("Script log:    " + args.log + " (raw values of this summary at its end)")
    if args.log:
        with open(args.log, "a", encoding="utf-8") as log:
            log.write("== Summary details\n" + "".join(line + "\n" for line in details))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
