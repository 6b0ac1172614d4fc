#!/usr/bin/env python3
"""Times whole runs of the Linux build: three kinds with nine products each and
a full policy (every rule evaluated, registry probe included).

usage: bench/whole_run.py [BINARY] [RUNS]
Prints the median and 90th percentile wall time, the median of /bin/true spawned
the same way in between (the floor of this machine), and the peak resident memory.
"""

import json
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
binary = sys.argv[1] if len(sys.argv) > 1 else str(ROOT / "build/linux/VelmoraAvInfo")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 200
os.environ.setdefault("VELMORA_TARGET", "linux")
os.environ["VELMORA_BINARY"] = binary
sys.path.insert(0, str(ROOT / "tests/e2e"))
from machine import Machine  # noqa: E402


def product(i, kind):
    p = {"name": "Contoso %s %d" % (kind, i), "state": i % 3, "signature_status": 1,
         "remediation_path": "C:\\Program Files\\Contoso\\p%d.exe" % i}
    if kind == "antivirus":
        p["timestamp"] = "Mon, 07 Dec 2026 09:00:00 GMT"
    return p


with Machine() as m:
    m.write_products({kind: [product(i, kind) for i in range(9)] for kind in ("antivirus", "antispyware", "firewall")})
    m.write_policy({
        "endpoint_posture_check": 1, "av_value": 1, "av_operator": "equal", "av_action": 1,
        "av_version_value": "4.18", "av_version_operator": "less_than", "av_version_action": 1,
        "os_version_value": "windows_10,windows_11", "os_version_operator": "equal", "os_version_action": 1,
        "registry_value": "Computer\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Contoso\\Agent,Computer\\HKEY_CURRENT_USER\\Software\\X",
        "registry_operator": "exist", "registry_action": 0,
    })
    m.add_registry_key(r"HKEY_LOCAL_MACHINE\SOFTWARE\Contoso\Agent")
    m.set_registry_value(r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation",
                         "SystemProductName", "Contoso Laptop 14")
    out = m.host_path("inventory.json")
    argv = [binary, "-av", "-as", "-fw", "-outpath=" + str(out)]
    env = m.environment()
    times = []
    floor = []  # /bin/true, spawned the same way in between: what starting any process costs here
    peak_kib = 0
    for i in range(runs):
        if i % 50 == 0 and m.log_path.exists():
            m.log_path.unlink()  # keep the log small: appending is what a run costs, not the file's age
        start = time.perf_counter()
        pid = os.posix_spawn(binary, argv, env)
        _, wait_status, _ = os.wait4(pid, 0)
        times.append((time.perf_counter() - start) * 1000.0)
        if os.waitstatus_to_exitcode(wait_status) != 0:
            sys.exit("run failed with status %d" % os.waitstatus_to_exitcode(wait_status))
        start = time.perf_counter()
        pid = os.posix_spawn("/bin/true", ["/bin/true"], env)
        os.wait4(pid, 0)
        floor.append((time.perf_counter() - start) * 1000.0)
    # Peak memory through GNU time: a child's own figure would also count the
    # pages it shared with this Python process before it started the program.
    for _ in range(10):
        measured = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], env=env, stdin=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, text=True, check=True)
        peak_kib = max(peak_kib, int(measured.stderr.strip().splitlines()[-1]))
    check = m.check_json_path.read_bytes()

times.sort()
print("whole run, 3 kinds x 9 products, full policy: %d runs" % runs)
print("  median %.2f ms, p90 %.2f ms, min %.2f ms" % (statistics.median(times), times[int(runs * 0.9) - 1], times[0]))
print("  /bin/true spawned the same way: median %.2f ms" % statistics.median(floor))
print("  peak resident memory %.1f MiB" % (peak_kib / 1024.0))
print("  verdict file: %r" % check)
