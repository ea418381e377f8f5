#!/usr/bin/env python3
"""Hot-plug latency and idle CPU of Tessel against the simulator process.

Prints, over many plugs of the mouse pad, the time from the simulator creating the interface to
the device's tab being shown (median and 95th percentile), and the CPU Tessel uses over 30 s
with four devices connected and static lighting, next to a bare Qt window doing nothing,
measured in the same run. Figures only: nothing is asserted.

Usage: tests/bench/hotplug_bench.py [build/default/bin] [--plugs N] [--idle-seconds S]
"""
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

args = [a for a in sys.argv[1:] if not a.startswith("--")]
BIN = os.path.abspath(args[0] if args else "build/default/bin")
PLUGS = int(sys.argv[sys.argv.index("--plugs") + 1]) if "--plugs" in sys.argv else 40
IDLE_S = float(sys.argv[sys.argv.index("--idle-seconds") + 1]) if "--idle-seconds" in sys.argv else 30.0
DEVSIM = os.path.join(BIN, "tessel-devsim")
TICKS = os.sysconf("SC_CLK_TCK")


def devsim(sim_dir, *words):
    out = subprocess.run([DEVSIM, "--dir", sim_dir, *words], capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def static_profiles(data_home):
    """Profiles whose lighting is static: the idle figure is about a device that shows a
    colour, not about a running effect."""
    src = os.path.join(BIN, "DefaultData")
    # The static mode's place in each kind's mode list.
    static_item = {"keyboard": 6, "mouse": 3, "MousePad": 3, "HD": 3}
    for kind in ("keyboard", "mouse", "MousePad", "HD"):
        folder = os.path.join(data_home, "tamrel wireless", kind)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(src, kind + ".Json")) as f:
            doc = json.load(f)
        for device in doc.get("Device", []):
            if isinstance(device, dict) and isinstance(device.get("LightInfo"), dict):
                device["LightInfo"]["SelectItem"] = static_item[kind]
        doc["profilename"] = "profile1"
        doc["profileUUID"] = "bench"
        with open(os.path.join(folder, "bench.Json"), "w") as f:
            json.dump(doc, f)
        with open(os.path.join(folder, "ProfileList.ini"), "w") as f:
            json.dump({"profilelist": [{"profilename": "profile1", "profileUUID": "bench",
                                        "profileislink": 0, "profilelinkmame": ""}],
                       "profileselect": 0}, f)


def main():
    work = tempfile.mkdtemp(prefix="tessel-bench-")
    sim_dir = os.path.join(work, "sim")
    os.makedirs(sim_dir)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TESSEL_SIM_DIR=sim_dir, TESSEL_DEBUG="1",
               XDG_DATA_HOME=os.path.join(work, "data"), XDG_CONFIG_HOME=os.path.join(work, "config"),
               XDG_RUNTIME_DIR=work, QT_MESSAGE_PATTERN="%{time yyyy-MM-ddThh:mm:ss.zzz} %{message}")
    static_profiles(env["XDG_DATA_HOME"])
    sim = subprocess.Popen([DEVSIM, "serve", "--dir", sim_dir], stdout=subprocess.DEVNULL)
    while not os.path.exists(os.path.join(sim_dir, "control")):
        time.sleep(0.01)
    tessel = subprocess.Popen([os.path.join(BIN, "tessel")], env=env, stderr=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, text=True)
    shown = []
    cond = threading.Condition()

    def reader():
        pattern = re.compile(r"^(\S+) .*设备标签显示 MousePad")
        for line in tessel.stderr:
            m = pattern.match(line)
            if m:
                t = time.mktime(time.strptime(m.group(1)[:19], "%Y-%m-%dT%H:%M:%S")) + int(m.group(1)[20:23]) / 1000
                with cond:
                    shown.append(t)
                    cond.notify_all()

    threading.Thread(target=reader, daemon=True).start()
    time.sleep(1.5)
    latencies = []
    for _ in range(PLUGS):
        with cond:
            before = len(shown)
        start = time.time()
        devsim(sim_dir, "plug", "pad")
        with cond:
            if not cond.wait_for(lambda: len(shown) > before, timeout=10):
                print("a plug was not seen within 10 s", file=sys.stderr)
                continue
            latencies.append((shown[-1] - start) * 1000)
        devsim(sim_dir, "unplug", "pad")
        time.sleep(0.3)
    if latencies:
        latencies.sort()
        p95 = latencies[min(len(latencies) - 1, int(round(0.95 * (len(latencies) - 1))))]
        print(f"hot-plug to tab shown over {len(latencies)} plugs: median {statistics.median(latencies):.1f} ms, "
              f"95th percentile {p95:.1f} ms (goal: well under 100 ms)")

    for words in (("plug", "keyboard", "--route", "cable"), ("plug", "mouse", "--route", "receiver"),
                  ("plug", "pad"), ("plug", "headset")):
        devsim(sim_dir, *words)
    # The devices' own lighting is what Tessel reads back at connection: static on every one
    # (byte 1 of each settings block is the mode; static is 6 on the keyboard, 3 elsewhere).
    for device, mode in (("keyboard", "06"), ("mouse", "03"), ("pad", "03"), ("headset", "03")):
        devsim(sim_dir, "poke", device, "settings", "1", mode, "--announce")
    time.sleep(3)
    bare = subprocess.Popen([os.path.join(BIN, "tessel_app_bare_window")], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    t0, b0, w0 = cpu_seconds(tessel.pid), cpu_seconds(bare.pid), time.time()
    time.sleep(IDLE_S)
    t1, b1, w1 = cpu_seconds(tessel.pid), cpu_seconds(bare.pid), time.time()
    wall = w1 - w0
    print(f"idle CPU over {wall:.0f} s with four devices and static lighting: Tessel {100 * (t1 - t0) / wall:.2f} % "
          f"of one core, bare Qt window {100 * (b1 - b0) / wall:.2f} % (goal: Tessel under 0.5 %)")
    for p in (bare, tessel):
        p.send_signal(signal.SIGTERM)
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
    devsim(sim_dir, "shutdown")
    sim.wait(10)
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
