#!/usr/bin/env python3
"""Runs a raw-input plug-in end to end: rchost listening to it under Wine, and the input simulator
playing a script into Wine's raw input. Prints what was sent and what the host received, checks
expectations, and measures the time from the simulator's send to the host's OnRemoteCode.

  input_run.py --wine-env scripts/wine-env --prefix <wineprefix> --dist <dist dir> --sim <input_sim.exe>
               --plugin "raw input"|mce [--active-codes FILE] [--host-foreground] [--value NAME=VALUE ...]
               [--script FILE | --events "key a; wait 100; key b"] [--after-stop-ms N]
               [--expect CODE ...] [--expect-keydown "0x0041 swallowed" ...] [--json] [--live]

Checks (exit 1 when one fails): --expect lists the codes the host must print, in that order and
nothing else; --expect-prefix only requires them as the first codes; --expect-keydown lists the
WM_KEYDOWN lines rchost must print in order; --repeats CODE:MIN:MAX bounds how often a code
arrives; --min-codes N wants at least N codes; --quiet-after-release makes sure no code arrives
later than 120 ms after the simulator sent the last key-up or release report; a code after Stop
always fails the check.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time

CODE_LINE = re.compile(r"^(Raw Input|MCE): (\S+) \((-?\d+) ms\)(?: @(\d+))?\s*$")
KEYDOWN_LINE = re.compile(r"^rchost: WM_KEYDOWN (0x[0-9A-F]{4}) (swallowed by the plug-in|passed on)\s*$")
AFTER_STOP = re.compile(r"^After Stop: (\d+) codes")


def script_duration_ms(events, gap_ms):
    total = 0
    for e in events:
        w = e.split()
        if not w:
            continue
        if w[0] == "wait":
            total += int(w[1])
        elif w[0] in ("key", "mce"):
            total += gap_ms
        elif w[0] == "plug":
            total += 10000
    return total


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--wine-env", required=True)
    p.add_argument("--prefix", required=True)
    p.add_argument("--dist", required=True)
    p.add_argument("--sim", required=True)
    p.add_argument("--plugin", required=True)
    p.add_argument("--active-codes")
    p.add_argument("--start-flag", choices=["0", "1"])
    p.add_argument("--host-foreground", action="store_true")
    p.add_argument("--value", action="append", default=[])
    p.add_argument("--script")
    p.add_argument("--events", default="")
    p.add_argument("--key-gap-ms", type=int, default=30)
    p.add_argument("--after-stop-ms", type=int, default=0)
    p.add_argument("--drain-ms", type=int, default=1500, help="how long rchost listens after the script")
    p.add_argument("--seconds", type=int, default=0, help="how long rchost listens (default: the script and the drain)")
    p.add_argument("--expect", action="append", default=[])
    p.add_argument("--expect-prefix", action="store_true")
    p.add_argument("--expect-keydown", action="append", default=[])
    p.add_argument("--repeats", action="append", default=[])
    p.add_argument("--min-codes", type=int, default=0)
    p.add_argument("--quiet-after-release", action="store_true")
    p.add_argument("--hiddev", help="hiddev.exe: install the virtual HID devices first and let the "
                   "simulator send HID reports through them (exit 77, skipped, where they cannot be installed)")
    p.add_argument("--unplug", action="append", default=[],
                   help="with --hiddev: a virtual device profile to remove before the host starts")
    p.add_argument("--json", action="store_true")
    p.add_argument("--live", action="store_true")
    a = p.parse_args()
    a.wine_env, a.dist, a.sim = (os.path.realpath(x) for x in (a.wine_env, a.dist, a.sim))
    prefix = os.path.realpath(a.prefix)
    if a.hiddev:
        hiddev = [a.wine_env, prefix, os.path.realpath(a.hiddev)]
        done = subprocess.run(hiddev + ["install", "all"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, errors="replace", timeout=120)
        if done.returncode != 0:
            print("input_run: SKIPPED: the virtual HID device cannot be installed in this prefix: %s"
                  % done.stdout.strip(), file=sys.stderr)
            sys.exit(77)
        for profile in a.unplug:
            done = subprocess.run(hiddev + ["remove", profile], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  text=True, errors="replace", timeout=120)
            if done.returncode != 0:
                print("input_run: FAILED: removing %s: %s" % (profile, done.stdout.strip()), file=sys.stderr)
                sys.exit(1)

    # Events are separated by ";" or "," (CMake lists cannot carry ";").
    events = [e.strip() for e in re.split(r"[;,]", a.events) if e.strip()]
    if a.script:
        with open(a.script) as f:
            events += [l.split("#")[0].strip() for l in f if l.split("#")[0].strip()]
    work = tempfile.mkdtemp(prefix="zr-input-")
    script = os.path.join(work, "script")
    with open(script, "w") as f:
        f.write("\n".join(events) + "\n")
    report = os.path.join(work, "report")

    # Without --seconds rchost listens until the simulator, done with its script and the drain,
    # tells it to stop; its own limit is only a backstop.
    seconds = a.seconds or int(30 + 2 * (script_duration_ms(events, a.key_gap_ms) + a.drain_ms) / 1000)
    host_args = [a.wine_env, prefix, os.path.join(a.dist, "rchost.exe"), "listen", a.plugin,
                 "--seconds", str(seconds), "--timestamps"]
    if a.active_codes:
        host_args += ["--active-codes", os.path.realpath(a.active_codes)]
    if a.start_flag:
        host_args += ["--start-flag", a.start_flag]
    if a.host_foreground:
        host_args.append("--foreground")
    if a.after_stop_ms:
        host_args += ["--after-stop-ms", str(a.after_stop_ms)]
    for v in a.value:
        host_args += ["--value", v]

    host = subprocess.Popen(host_args, cwd=a.dist, stdout=subprocess.PIPE, text=True, errors="replace")
    out_lines = []
    sim = None
    sim_rc = None
    try:
        for line in host.stdout:
            line = line.rstrip("\r\n")
            out_lines.append(line)
            if a.live:
                print(line, flush=True)
            if sim is None and line.startswith("Listening to"):
                sim_args = [a.wine_env, prefix, a.sim, "--report", report, "--script", script,
                            "--key-gap-ms", str(a.key_gap_ms),
                            "--foreground", "none" if a.host_foreground else "self"]
                if not a.seconds:
                    sim_args += ["--end-host", "rchost", "--end-host-delay-ms", str(a.drain_ms)]
                if a.hiddev:
                    sim_args.append("--driver")
                sim = subprocess.Popen(sim_args, stdout=subprocess.DEVNULL)
        host.wait()
    finally:
        if sim is not None:
            try:
                sim_rc = sim.wait(timeout=30)
            except subprocess.TimeoutExpired:
                sim.kill()
                sim.wait()
        if host.poll() is None:
            host.kill()
            host.wait()

    sent = []
    sim_error = None
    try:
        with open(report) as f:
            for line in f:
                parts = line.split()
                if parts and parts[0] == "error":
                    sim_error = line.strip()
                elif len(parts) >= 2 and parts[0].isdigit() and parts[1] not in ("ready", "done"):
                    sent.append((int(parts[0]), " ".join(parts[1:])))
    except FileNotFoundError:
        sim_error = "the simulator wrote no report"

    received, keydowns, after_stop, stopped = [], [], None, False
    for line in out_lines:
        m = CODE_LINE.match(line)
        if m:
            received.append({"code": m.group(2), "ms": int(m.group(3)), "at": int(m.group(4)) if m.group(4) else None,
                             "after_stop": stopped})
            continue
        m = KEYDOWN_LINE.match(line)
        if m:
            keydowns.append("%s %s" % (m.group(1), "swallowed" if m.group(2).startswith("swallowed") else "passed"))
            continue
        if line.startswith("Stopped "):
            stopped = True
        m = AFTER_STOP.match(line)
        if m:
            after_stop = int(m.group(1))

    # Latency: each code against the last press sent before it.
    presses = [(t, e) for t, e in sent
               if e.startswith("down") or (e.startswith(("hid", "dev")) and not e.endswith("-release"))]
    latencies = []
    for r in received:
        if r["at"] is None:
            continue
        before = [t for t, _ in presses if t <= r["at"]]
        if before:
            latencies.append((r["at"] - before[-1]) / 1e6)
    result = {"sent": len(sent), "presses": len(presses), "received": len(received),
              "codes": [r["code"] for r in received], "keydowns": keydowns,
              "after_stop": after_stop, "host_exit": host.returncode, "sim_exit": sim_rc, "sim_error": sim_error}
    if latencies:
        lat = sorted(latencies)
        result["p50_ms"] = lat[len(lat) // 2]
        result["p99_ms"] = lat[min(len(lat) - 1, int(len(lat) * 0.99))]

    failures = []
    if sim is None:
        failures.append("rchost never said it was listening")
    if sim_rc not in (0, None) or sim_error:
        failures.append("the simulator failed: %s (exit %s)" % (sim_error, sim_rc))
    if host.returncode != 0:
        failures.append("rchost exited with %s" % host.returncode)
    if any(r["after_stop"] for r in received) or (after_stop or 0) > 0:
        failures.append("codes arrived after Stop")
    codes = result["codes"]
    if a.expect:
        got = codes[:len(a.expect)] if a.expect_prefix else codes
        if got != a.expect:
            failures.append("codes: expected %s, got %s" % (a.expect, codes))
    if a.expect_keydown and keydowns != a.expect_keydown:
        failures.append("WM_KEYDOWN lines: expected %s, got %s" % (a.expect_keydown, keydowns))
    for bounds in a.repeats:
        code, low, high = bounds.rsplit(":", 2)
        n = codes.count(code)
        if not int(low) <= n <= int(high):
            failures.append("%s arrived %d times, expected %s to %s" % (code, n, low, high))
    if len(codes) < a.min_codes:
        failures.append("%d codes arrived, expected at least %d" % (len(codes), a.min_codes))
    if a.quiet_after_release:
        releases = [t for t, e in sent if e.startswith("up") or e.endswith("-release")]
        if releases:
            late = [r for r in received if r["at"] and r["at"] > releases[-1] + 120e6]
            if late:
                failures.append("%d codes after the release, the first %.0f ms after it" %
                                (len(late), (late[0]["at"] - releases[-1]) / 1e6))
    result["failures"] = failures

    if a.json:
        print(json.dumps(result))
    elif not a.live:
        print("\n".join(out_lines))
    if failures:
        print("input_run: sent:\n  %s" % "\n  ".join("%d %s" % s for s in sent), file=sys.stderr)
        print("input_run: rchost said:\n  %s" % "\n  ".join(out_lines), file=sys.stderr)
        for f in failures:
            print("input_run: FAILED: " + f, file=sys.stderr)
        sys.exit(1)
    if not a.json:
        print("input_run: %d events sent, %d codes received, checks passed" % (len(sent), len(received)))


if __name__ == "__main__":
    main()
