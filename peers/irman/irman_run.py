#!/usr/bin/env python3
"""Runs the IRMAN plug-in end to end: a simulated receiver on COM<n> and rchost listening to it
under Wine. Compares the codes the receiver sent with the codes the host printed, and measures the
time from the receiver's write to the host's OnRemoteCode when rchost prints receive times.

  irman_run.py --wine-env scripts/wine-env --prefix <wineprefix> --dist <dist dir> --sim <irman_sim>
               [--com 1] [--count 20] [--rate 20] [--burst] [--record HEX ...] [--seconds N]
               [--timestamps] [--check] [--json] [--live]

--check: exit 1 unless the host printed exactly the codes sent, in order.
--live:  echo rchost's output as it arrives (the README's main job uses this).
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time

CODE_LINE = re.compile(r"^IRMAN: ([0-9A-F]{12}) \((-?\d+) ms\)(?: @(\d+))?\s*$")


def wait_for(path, prefix, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            with open(path) as f:
                if any(line.startswith(prefix) for line in f):
                    return True
        except FileNotFoundError:
            pass
        time.sleep(0.01)
    return False


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--wine-env", required=True)
    p.add_argument("--prefix", required=True)
    p.add_argument("--dist", required=True)
    p.add_argument("--sim", required=True)
    p.add_argument("--com", type=int, default=1)
    p.add_argument("--count", type=int, default=0)
    p.add_argument("--rate", type=float, default=20.0)
    p.add_argument("--burst", action="store_true")
    p.add_argument("--record", action="append", default=[])
    p.add_argument("--seconds", type=int, default=0, help="how long rchost listens (default: long enough)")
    p.add_argument("--start-delay-ms", type=int, default=1500)
    p.add_argument("--timestamps", action="store_true")
    p.add_argument("--check", action="store_true")
    p.add_argument("--json", action="store_true")
    p.add_argument("--live", action="store_true")
    a = p.parse_args()
    # rchost runs from dist/, so every path is made absolute first.
    a.wine_env, a.dist, a.sim = (os.path.realpath(x) for x in (a.wine_env, a.dist, a.sim))

    prefix = os.path.realpath(a.prefix)
    ports = os.path.join(prefix, "zr-ports")
    os.makedirs(ports, exist_ok=True)
    for n in range(1, 9):
        link = os.path.join(ports, "com%d" % n)
        if os.path.islink(link) or os.path.exists(link):
            os.unlink(link)

    work = tempfile.mkdtemp(prefix="zr-irman-")
    report = os.path.join(work, "report")
    sim_args = [a.sim, "--link", os.path.join(ports, "com%d" % a.com), "--report", report,
                "--start-delay-ms", str(a.start_delay_ms), "--lifetime-ms", "3600000"]
    for r in a.record:
        sim_args += ["--record", r]
    if a.count:
        sim_args += ["--count", str(a.count), "--rate", str(a.rate)]
    if a.burst:
        sim_args.append("--burst")
    sim = subprocess.Popen(sim_args)
    try:
        run(a, prefix, report, sim)
    finally:
        # Whatever happened, the simulator does not outlive this run.
        if sim.poll() is None:
            sim.kill()
            sim.wait()


def run(a, prefix, report, sim):
    if not wait_for(report, "ready", 10):
        sys.exit("irman_run: the simulator did not start")

    # Long enough for the port scan, the start delay, every record and a second to drain.
    records = len(a.record) + a.count
    # The margin covers the scan of the ports and a slow start under load; a host that stopped
    # before the last record arrived would count it as lost.
    seconds = a.seconds or int(8 + a.start_delay_ms / 1000 + (0 if a.burst else records / max(a.rate, 0.1)) * 1.02)
    host_args = [a.wine_env, prefix, os.path.join(a.dist, "rchost.exe"), "listen", "irman", "--seconds", str(seconds)]
    if a.timestamps:
        host_args.append("--timestamps")
    host = subprocess.Popen(host_args, cwd=a.dist, stdout=subprocess.PIPE, text=True, errors="replace")
    out_lines = []
    for line in host.stdout:
        out_lines.append(line.rstrip("\r\n"))
        if a.live:
            print(line.rstrip("\r\n"), flush=True)
    host.wait()

    open(report + ".stop", "w").close()
    try:
        sim.wait(timeout=10)
    except subprocess.TimeoutExpired:
        sim.kill()

    sent = []
    with open(report) as f:
        for line in f:
            parts = line.split()
            if parts and parts[0] == "sent":
                sent.append((parts[1], int(parts[2])))
    received = []
    for line in out_lines:
        m = CODE_LINE.match(line)
        if m:
            received.append((m.group(1), int(m.group(2)), int(m.group(3)) if m.group(3) else None))

    # Match codes in order; generated records are unique, scripted ones are matched in sequence.
    latencies = []
    j = 0
    matched = 0
    for code, _, at in received:
        while j < len(sent) and sent[j][0] != code:
            j += 1
        if j == len(sent):
            break
        matched += 1
        if at is not None:
            latencies.append((at - sent[j][1]) / 1e6)
        j += 1

    result = {
        "sent": len(sent),
        "received": len(received),
        "lost": len(sent) - matched,
        "in_order": [c for c, _, _ in received] == [c for c, _ in sent],
        "host_exit": host.returncode,
    }
    if latencies:
        lat = sorted(latencies)
        result["p50_ms"] = lat[len(lat) // 2]
        result["p99_ms"] = lat[min(len(lat) - 1, int(len(lat) * 0.99))]
        result["max_ms"] = lat[-1]
        result["span_s"] = (sent[-1][1] - sent[0][1]) / 1e9 if len(sent) > 1 else 0.0
    if a.json:
        print(json.dumps(result))
    elif not a.live:
        print("\n".join(out_lines))
    if a.check:
        if not result["in_order"] or result["host_exit"] != 0 or not sent:
            print("irman_run: sent %s" % [c for c, _ in sent], file=sys.stderr)
            print("irman_run: received %s" % [c for c, _, _ in received], file=sys.stderr)
            print("irman_run: rchost said:\n%s" % "\n".join(out_lines), file=sys.stderr)
            sys.exit(1)
        print("irman_run: %d codes sent, the same %d printed in order" % (len(sent), len(received)))


if __name__ == "__main__":
    main()
