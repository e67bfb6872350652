#!/usr/bin/env python3
"""Runs the MCE plug-in's blasting and learning end to end: zrservice.exe standing in for the host's
service for the installation of dist/, and rchost from dist/ asking the MCE plug-in for a blast and
a learn, all under Wine. Shows what rchost printed and what the service saw.

  service_run.py --wine-env scripts/wine-env --prefix <wineprefix> --dist <dist dir>
                 --service <zrservice.exe> [--learn-delay-ms 1000] [--check]

--private-copy: run a copy of dist/ in a folder of its own, so that the stand-in serves an
         installation no other run of dist/ uses (tests that run beside others).
--check: exit 1 unless the blast went through with its code intact (the carrier corrected), the
         service was asked for the port count, and the code the service sent was the one learned.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

BLAST_CODE = ('<ZRIR version="1.0">\r\n<Item Name="BlastCommandName">Power</Item>\r\n'
              '<Item Name="IRData">0000 006D 0022 0002 0155 00AA 0015 0040</Item>\r\n'
              '<Item Name="CarrierFrequency">999</Item>\r\n</ZRIR>')


def windows_path(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def unescape(field):
    out, i = [], 0
    while i < len(field):
        c = field[i]
        if c == "\\" and i + 1 < len(field):
            i += 1
            c = {"t": "\t", "r": "\r", "n": "\n"}.get(field[i], field[i])
        out.append(c)
        i += 1
    return "".join(out)


def report_lines(path):
    try:
        with open(path, encoding="utf-8", newline="\n") as f:
            return [[unescape(x) for x in line.rstrip("\n").split("\t")] for line in f if line.strip()]
    except FileNotFoundError:
        return []


def wait_for(path, kind, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if any(f[0] == kind for f in report_lines(path)):
            return True
        time.sleep(0.02)
    return False


def rchost(a, *args):
    print("==> rchost " + " ".join(args), flush=True)
    result = subprocess.run([a.wine_env, a.prefix, "./rchost.exe", *args], cwd=a.dist, capture_output=True,
                            text=True, timeout=120)
    out = result.stdout.replace("\r\n", "\n")
    sys.stdout.write(out)
    sys.stdout.flush()
    return out


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--wine-env", required=True)
    p.add_argument("--prefix", required=True)
    p.add_argument("--dist", required=True)
    p.add_argument("--service", required=True)
    p.add_argument("--learn-delay-ms", type=int, default=1000)
    p.add_argument("--private-copy", action="store_true")
    p.add_argument("--check", action="store_true")
    a = p.parse_args()
    a.wine_env, a.prefix, a.dist, a.service = (os.path.realpath(x) for x in (a.wine_env, a.prefix, a.dist, a.service))

    work = tempfile.mkdtemp(prefix="zr-service-")
    if a.private_copy:
        a.dist = shutil.copytree(a.dist, os.path.join(work, "dist"))
    report = os.path.join(work, "report.txt")
    code_file = os.path.join(work, "code.xml")
    with open(code_file, "w", encoding="utf-8", newline="") as f:
        f.write(BLAST_CODE)
    service = subprocess.Popen([a.wine_env, a.prefix, a.service, "--folder", windows_path(a.dist), "--report",
                                windows_path(report), "--ports", "2", "--learn-delay-ms", str(a.learn_delay_ms),
                                "--seconds", "300"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    try:
        if not wait_for(report, "ready", 60):
            print("service_run: zrservice.exe did not get ready", file=sys.stderr)
            return 1
        print("==> zrservice.exe serves " + next(f[1] for f in report_lines(report) if f[0] == "ready"), flush=True)
        blasted = rchost(a, "blast", "mce", windows_path(code_file))
        learned = rchost(a, "learn", "mce", "--seconds", "20")
        lines = report_lines(report)
    finally:
        service.terminate()
        try:
            service.wait(timeout=20)
        except subprocess.TimeoutExpired:
            service.kill()
            service.wait()
        if a.private_copy:
            shutil.rmtree(os.path.join(work, "dist"), ignore_errors=True)

    print("==> what the service saw", flush=True)
    for f in lines:
        shown = [x.replace("\r\n", " ") for x in f]
        print("  " + " | ".join(shown))
    if not a.check:
        return 0
    failures = []
    if not any(f[:2] == ["request", "IRGetNumBlastPorts"] for f in lines):
        failures.append("the port count was never asked for")
    sent = [f[1] for f in lines if f[0] == "blasted"]
    if len(sent) != 1 or "38000" not in sent[0] or "0000 006D 0022 0002 0155 00AA 0015 0040" not in sent[0] \
            or "Power" not in sent[0]:
        failures.append("the blast did not reach the service as sent with the carrier corrected: %r" % sent)
    if "Blasted through MCE" not in blasted:
        failures.append("rchost did not report the blast")
    callbacks = [f for f in lines if f[0] == "callback"]
    if callbacks != [["callback", "sent", "1"]]:
        failures.append("the service's callback did not go through: %r" % callbacks)
    if "0000 006D 0022 0002 0155 00AA" not in learned:
        failures.append("rchost did not print the learned code")
    for failure in failures:
        print("service_run: " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
