#!/usr/bin/env python3
"""Runs rchost's integrator commands end to end under Wine, with the simulators standing in for the
devices, and checks what rchost printed.

  rchost_run.py --wine-env scripts/wine-env --prefix <wineprefix> --dist <dist dir> COMMAND ...

  validate --driver <dir> [--service zrservice.exe] [--module DLL] [--seconds N]
           [--expect-fail REGEX ...] [--expect REGEX ...]
      rchost validate with the substitute USB-UIRT driver on the loader's path (its codes arrive on
      the driver's thread and it learns) and, with --service, the host's service standing in for
      the MCE plug-in's blasts and learns, so that the thread and ownership checks of codes and
      learned codes run. Without --expect-fail every check must pass and those checks must not be
      skipped; with it, rchost must fail and print each expected FAIL line.

  monitor --driver <dir> --irman-sim <irman_sim> --input-sim <input_sim.exe> [--count N] [--rate R]
          [--interrupt]
      rchost monitor with every simulator feeding it at once: the IRMAN receiver on COM1, the
      USB-UIRT transceiver, and the input simulator typing keys and pressing MCE remote buttons
      into Wine's raw input. Each code
      line must name its plug-in and every sent code must be in the table at the end. With
      --interrupt, Ctrl+C ends the monitor once every code has arrived: every plug-in that started
      must be stopped, the table printed and rchost ended with status 0.

--live: echo rchost's output as it arrives.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

MONITOR_CODE = re.compile(r"^(.+?): (\S+) \((-?\d+) ms\) at \d\d:\d\d:\d\d\.\d\d\d\s*$")
TABLE_ROW = re.compile(r"^(.+?)\s+(\d+)\s+(\d+\.\d\d)\s+(-|\d+)\s+(-|\d+)\s*$")


def windows_path(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def run_rchost(a, args, env, on_line=None):
    host = subprocess.Popen([a.wine_env, a.prefix, os.path.join(a.dist, "rchost.exe")] + args, cwd=a.dist, env=env,
                            stdout=subprocess.PIPE, text=True, errors="replace")
    out = []
    try:
        for line in host.stdout:
            out.append(line.rstrip("\r\n"))
            if a.live:
                print(out[-1], flush=True)
            if on_line:
                on_line(out[-1], host)
        host.wait()
    finally:
        if host.poll() is None:
            host.kill()
            host.wait()
    return host.returncode, out


def fail(what, out):
    print("rchost_run: " + what, file=sys.stderr)
    print("rchost_run: rchost said:\n%s" % "\n".join(out[-200:]), file=sys.stderr)
    sys.exit(1)


def uuirt_env(a, work, settings):
    env = dict(os.environ)
    env["WINEPATH"] = windows_path(a.driver)
    env["ZR_UUIRT_SIM"] = ";".join(["report=" + windows_path(os.path.join(work, "uuirt-report"))] + settings)
    return env


def validate(a, work):
    env = uuirt_env(a, work, ["codes=AA0000000001,AA0000000002,AA0000000003", "rate=20", "start-delay-ms=0",
                              "learn-ms=100"])
    args = ["validate"] + ([windows_path(a.module)] if a.module else []) + ["--seconds", str(a.seconds)]
    service = None
    if a.service:
        # The host's service for dist/'s installation: the MCE plug-in blasts and learns through it.
        report = os.path.join(work, "service-report")
        service = subprocess.Popen([a.wine_env, a.prefix, a.service, "--folder", windows_path(a.dist), "--report",
                                    windows_path(report), "--ports", "2", "--learn-delay-ms", "300", "--seconds", "300"],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    try:
        if service and not wait_for_line(report, "ready", 60):
            sys.exit("rchost_run: zrservice.exe did not get ready")
        rc, out = run_rchost(a, args, env)
    finally:
        if service:
            service.terminate()
            try:
                service.wait(timeout=20)
            except subprocess.TimeoutExpired:
                service.kill()
                service.wait()
    summary = [l for l in out if re.match(r"^validate: \d+ passed, \d+ failed$", l)]
    if len(summary) != 1:
        fail("no summary line", out)
    failed = int(re.search(r"(\d+) failed", summary[0]).group(1))
    if a.expect_fail:
        if rc == 0 or failed == 0:
            fail("validate passed a faulty module (exit %d)" % rc, out)
        for pattern in a.expect_fail:
            if not any(re.search(pattern, l) for l in out if l.startswith("FAIL")):
                fail("no FAIL line matches %r" % pattern, out)
    elif rc != 0 or failed:
        fail("validate failed (exit %d): %s" % (rc, "; ".join(l for l in out if l.startswith("FAIL"))), out)
    for pattern in a.expect:
        if not any(re.search(pattern, l) for l in out):
            fail("no line matches %r" % pattern, out)
    print("rchost_run: %s" % summary[0])


def wait_for_line(path, prefix, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            with open(path) as f:
                if any(line.startswith(prefix) for line in f):
                    return True
        except FileNotFoundError:
            pass
        time.sleep(0.02)
    return False


def monitor(a, work):
    prefix = a.prefix
    ports = os.path.join(prefix, "zr-ports")
    os.makedirs(ports, exist_ok=True)
    for n in range(1, 9):
        link = os.path.join(ports, "com%d" % n)
        if os.path.islink(link) or os.path.exists(link):
            os.unlink(link)
    irman_report = os.path.join(work, "irman-report")
    # Both devices begin sending once the host has had time to start every plug-in.
    irman = subprocess.Popen([a.irman_sim, "--link", os.path.join(ports, "com1"), "--report", irman_report,
                              "--start-delay-ms", "2500", "--lifetime-ms", "3600000", "--count", str(a.count),
                              "--rate", str(a.rate)])
    keys = ["a", "b", "c"]
    buttons = ["guide", "info"]
    script = os.path.join(work, "keys")
    with open(script, "w") as f:
        f.write("\n".join(["key %s\nwait 150" % k for k in keys] + ["mce %s\nwait 150" % b for b in buttons]) + "\n")
    env = uuirt_env(a, work, ["count=%d" % a.count, "rate=%g" % a.rate, "start-delay-ms=2500"])
    sim = []
    seen = {}
    interrupted = []

    def on_line(line, host):
        if not sim and line.startswith("Monitoring "):
            sim.append(subprocess.Popen([a.wine_env, prefix, a.input_sim, "--report", os.path.join(work, "input-report"),
                                         "--script", script, "--foreground", "self"], stdout=subprocess.DEVNULL))
        m = MONITOR_CODE.match(line)
        if m:
            seen[m.group(1)] = seen.get(m.group(1), 0) + 1
        # Ctrl+C (Wine hands SIGINT to the console's handler) once every device has sent everything.
        everything = (seen.get("IRMAN", 0) >= a.count and seen.get("USB-UUIRT", 0) >= a.count and
                      seen.get("Raw Input", 0) >= len(keys) and seen.get("MCE", 0) >= len(buttons))
        if a.interrupt and everything and not interrupted:
            interrupted.append(time.monotonic())
            host.send_signal(signal.SIGINT)

    try:
        if not wait_for_line(irman_report, "ready", 10):
            sys.exit("rchost_run: the IRMAN simulator did not start")
        # Interrupted, it runs until every code has arrived and Ctrl+C ends it, long before this.
        seconds = 150 if a.interrupt else int(8 + 2.5 + a.count / a.rate)
        rc, out = run_rchost(a, ["monitor", "--seconds", str(seconds), "--start-flag", "1"], env, on_line)
    finally:
        for p in sim:
            try:
                p.wait(timeout=30)
            except subprocess.TimeoutExpired:
                p.kill()
        open(irman_report + ".stop", "w").close()
        try:
            irman.wait(timeout=10)
        except subprocess.TimeoutExpired:
            irman.kill()

    if rc != 0:
        fail("monitor exited with %d" % rc, out)
    if a.interrupt and not interrupted:
        fail("not every code arrived, so Ctrl+C was never sent", out)
    lines = {}
    for line in out:
        m = MONITOR_CODE.match(line)
        if m:
            lines.setdefault(m.group(1), []).append(m.group(2))
    table = {}
    if "plug-in              codes  codes/s  shortest ms  longest ms" in out:
        start = out.index("plug-in              codes  codes/s  shortest ms  longest ms")
        for line in out[start + 1:]:
            m = TABLE_ROW.match(line)
            if m:
                table[m.group(1).strip()] = int(m.group(2))
    if not table:
        fail("no table at the end", out)
    for name, codes in table.items():
        if codes != len(lines.get(name, [])):
            fail("%s: the table says %d codes, %d lines were shown" % (name, codes, len(lines.get(name, []))), out)
    with open(irman_report) as f:
        irman_sent = [l.split()[1] for l in f if l.startswith("sent ")]
    expected = {"IRMAN": irman_sent, "USB-UUIRT": ["5A00000000%02X" % n for n in range(a.count)]}
    for name, codes in expected.items():
        if lines.get(name, []) != codes:
            fail("%s: sent %s, shown %s" % (name, codes, lines.get(name, [])), out)
    if len(lines.get("Raw Input", [])) < len(keys):
        fail("Raw Input: %d keys typed, %d codes shown" % (len(keys), len(lines.get("Raw Input", []))), out)
    if not all(c.startswith("MCE_") for c in lines.get("MCE", [])) or len(lines.get("MCE", [])) < len(buttons):
        fail("MCE: %d buttons pressed, codes shown %s" % (len(buttons), lines.get("MCE", [])), out)
    started = sum(1 for l in out if l.endswith(": started"))
    if ("Stopped %d plug-ins" % started) not in out:
        fail("the %d plug-ins started were not all stopped" % started, out)
    print("rchost_run: monitor showed %s" % ", ".join("%s %d" % (n, c) for n, c in sorted(table.items())))


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--wine-env", required=True)
    p.add_argument("--prefix", required=True)
    p.add_argument("--dist", required=True)
    p.add_argument("--live", action="store_true")
    sub = p.add_subparsers(dest="command", required=True)
    v = sub.add_parser("validate")
    v.add_argument("--driver", required=True)
    v.add_argument("--module")
    v.add_argument("--service", help="zrservice.exe, run for dist/'s installation while validating")
    v.add_argument("--seconds", type=int, default=3)
    v.add_argument("--expect-fail", action="append", default=[])
    v.add_argument("--expect", action="append", default=[])
    m = sub.add_parser("monitor")
    m.add_argument("--driver", required=True)
    m.add_argument("--irman-sim", required=True)
    m.add_argument("--input-sim", required=True)
    m.add_argument("--count", type=int, default=10)
    m.add_argument("--rate", type=float, default=5.0)
    m.add_argument("--interrupt", action="store_true", help="end the monitor with Ctrl+C once every code arrived")
    a = p.parse_args()
    a.wine_env, a.dist, a.prefix = (os.path.realpath(x) for x in (a.wine_env, a.dist, a.prefix))
    a.driver = os.path.realpath(a.driver)
    if getattr(a, "service", None):
        a.service = os.path.realpath(a.service)
    work = tempfile.mkdtemp(prefix="zr-rchost-")
    if a.command == "validate":
        validate(a, work)
    else:
        a.irman_sim, a.input_sim = os.path.realpath(a.irman_sim), os.path.realpath(a.input_sim)
        monitor(a, work)


if __name__ == "__main__":
    main()
