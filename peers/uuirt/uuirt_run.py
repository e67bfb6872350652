#!/usr/bin/env python3
"""Runs the USB-UIRT plug-in end to end: rchost from dist/ under Wine, with the substitute driver
put on the loader's path for this run only (WINEPATH), told what to do through ZR_UUIRT_SIM, and
its report compared with what rchost printed.

  uuirt_run.py --wine-env scripts/wine-env --prefix <wineprefix> --dist <dist dir> --driver <dir>
               listen [--codes A,B,...] [--count N] [--rate R] [--timestamps] [--json]
               blast  [--port N] [--data TEXT]
               learn  [--learn-text TEXT]
               [--check] [--live]

listen: the simulated transceiver receives the codes; rchost listens and prints them.
blast:  rchost blasts one IR code record; the driver's report must show it sent with its zone.
learn:  rchost learns one code; the record it prints must carry the driver's learned text.
--check: exit 1 unless what the host saw is exactly what the driver did.
--live:  echo rchost's output as it arrives (the main job uses this).
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

CODE_LINE = re.compile(r"^USB-UUIRT: (.*) \((-?\d+) ms\)(?: @(\d+))?\s*$")


def windows_path(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def read_report(path):
    try:
        with open(path, errors="replace") as f:
            return [line.rstrip("\n") for line in f]
    except FileNotFoundError:
        return []


def run_host(a, args, settings, report):
    env = dict(os.environ)
    env["ZR_UUIRT_SIM"] = ";".join(["report=" + windows_path(report)] + settings)
    env["WINEPATH"] = windows_path(a.driver)
    host = subprocess.Popen([a.wine_env, a.prefix, os.path.join(a.dist, "rchost.exe")] + args, cwd=a.dist,
                            env=env, stdout=subprocess.PIPE, text=True, errors="replace")
    out = []
    for line in host.stdout:
        out.append(line.rstrip("\r\n"))
        if a.live:
            print(out[-1], flush=True)
    host.wait()
    return host.returncode, out


def fail(what, out, report_lines):
    print("uuirt_run: " + what, file=sys.stderr)
    print("uuirt_run: rchost said:\n%s" % "\n".join(out), file=sys.stderr)
    print("uuirt_run: the driver saw:\n%s" % "\n".join(report_lines[-40:]), file=sys.stderr)
    sys.exit(1)


def listen(a, report):
    codes = [c for c in a.codes.split(",") if c] if a.codes else []
    settings = ["rate=%g" % a.rate, "start-delay-ms=%d" % a.start_delay_ms]
    settings.append("codes=" + ",".join(codes) if codes else "count=%d" % a.count)
    expected = len(codes) or a.count
    # Long enough for the start, every code and a margin; a host that stopped before the last code
    # arrived would count it as lost.
    seconds = a.seconds or int(6 + a.start_delay_ms / 1000 + expected / a.rate * 1.02)
    args = ["listen", "uuirt", "--seconds", str(seconds)] + (["--timestamps"] if a.timestamps else [])
    rc, out = run_host(a, args, settings, report)
    lines = read_report(report)

    sent = []
    for line in lines:
        if line.startswith("deliver "):
            text, _, stamp = line[len("deliver "):].rpartition(" @")
            sent.append((text, int(stamp)))
    received = []
    for line in out:
        m = CODE_LINE.match(line)
        if m:
            received.append((m.group(1), int(m.group(3)) if m.group(3) else None))

    # Codes are matched in order; a code the host never printed is lost.
    latencies_us = []
    j = matched = 0
    for code, at in received:
        while j < len(sent) and sent[j][0] != code:
            j += 1
        if j == len(sent):
            break
        matched += 1
        if at is not None:
            latencies_us.append((at - sent[j][1]) / 1e3)
        j += 1

    result = {"expected": expected, "sent": len(sent), "received": len(received), "lost": expected - matched,
              "in_order": [c for c, _ in received] == [c for c, _ in sent], "host_exit": rc}
    if latencies_us:
        lat = sorted(latencies_us)
        result["p50_us"] = lat[len(lat) // 2]
        result["p99_us"] = lat[min(len(lat) - 1, int(len(lat) * 0.99))]
        result["max_us"] = lat[-1]
    if a.json:
        print(json.dumps(result))
    if a.check:
        if rc != 0 or len(sent) != expected or not result["in_order"]:
            fail("the driver sent %d of %d codes, rchost printed %d (in order: %s)"
                 % (len(sent), expected, len(received), result["in_order"]), out, lines)
        print("uuirt_run: %d codes sent by the driver, the same %d printed in order" % (len(sent), len(received)))


def blast(a, report):
    record = ('<ZRIR version="1.0">\r\n<Item Name="PortIndex">%d</Item>\r\n<Item Name="IRData">%s</Item>\r\n'
              '</ZRIR>\r\n' % (a.port, a.data))
    work = os.path.dirname(report)
    path = os.path.join(work, "code.xml")
    with open(path, "w", newline="") as f:
        f.write(record)
    rc, out = run_host(a, ["blast", "uuirt", windows_path(path)], ["transmit-ms=50"], report)
    lines = read_report(report)
    zone = "Z%d" % (a.port + 1) if 0 <= a.port <= 2 else ""
    want = "transmit code=%s%s format=16 repeat=8 inactivity=0" % (zone, a.data)
    if a.check:
        if rc != 0 or want not in lines or "transmit done" not in lines:
            fail("expected the driver to see: " + want, out, lines)
        print("uuirt_run: the driver sent %s%s and reported it done; rchost said it was blasted" % (zone, a.data))


def learn(a, report):
    rc, out = run_host(a, ["learn", "uuirt", "--seconds", "20"],
                       ["learn-text=" + a.learn_text, "learn-ms=800"], report)
    lines = read_report(report)
    want = '<Item Name="IRData">%s</Item>' % a.learn_text
    if a.check:
        if rc != 0 or "Learned:" not in out or not any(want in line for line in out):
            fail("expected rchost to print a record with " + want, out, lines)
        print("uuirt_run: rchost received the learned code as a record with its IRData")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--wine-env", required=True)
    p.add_argument("--prefix", required=True)
    p.add_argument("--dist", required=True)
    p.add_argument("--driver", required=True, help="the folder of the substitute uuirtdrv.dll")
    p.add_argument("--check", action="store_true")
    p.add_argument("--live", action="store_true")
    sub = p.add_subparsers(dest="mode", required=True)
    lp = sub.add_parser("listen")
    lp.add_argument("--codes", default="")
    lp.add_argument("--count", type=int, default=20)
    lp.add_argument("--rate", type=float, default=10.0)
    lp.add_argument("--start-delay-ms", type=int, default=1500)
    lp.add_argument("--seconds", type=int, default=0)
    lp.add_argument("--timestamps", action="store_true")
    lp.add_argument("--json", action="store_true")
    bp = sub.add_parser("blast")
    bp.add_argument("--port", type=int, default=1)
    bp.add_argument("--data", default="0000 006D 0000 0022 00AC 00AC")
    rp = sub.add_parser("learn")
    rp.add_argument("--learn-text", default="0000 0071 0000 0032 0080 0040")
    a = p.parse_args()
    # rchost runs from dist/, so every path is made absolute first.
    a.wine_env, a.prefix, a.dist, a.driver = (os.path.realpath(x) for x in (a.wine_env, a.prefix, a.dist, a.driver))
    if os.path.exists(os.path.join(a.dist, "uuirtdrv.dll")):
        sys.exit("uuirt_run: dist/ holds a uuirtdrv.dll; the substitute must never be shipped")

    work = tempfile.mkdtemp(prefix="zr-uuirt-")
    try:
        {"listen": listen, "blast": blast, "learn": learn}[a.mode](a, os.path.join(work, "report"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
