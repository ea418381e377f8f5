#!/usr/bin/env python3
"""The SDK server under a lighting tool's load, Tessel running as its own process on the four
simulated devices.

Figures: Direct-mode latency from a client's colour update to the simulated keyboard's frame
(median and 95th percentile), Tessel's CPU while one client streams the keyboard at 60 frames a
second, and a soak: 10 clients connecting and disconnecting over and over while the stream
goes on, with Tessel's open files and memory before and after.

Fails (exit 1) when Tessel dies, a client is refused or answered wrongly, the stream stops
reaching the keyboard, or open files or memory grow in the soak beyond the bounds given.
Usage: sdk_server_bench.py --bin BUILD_BIN [--quick] [--cycles N] [--seconds S]
"""
import argparse
import json
import os
import re
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

HEADER = struct.Struct('<4sIII')


def packet(dev, pid, payload=b''):
    return HEADER.pack(b'ORGB', dev, pid, len(payload)) + payload


class SdkClient:
    def __init__(self, port, name):
        self.s = socket.create_connection(('127.0.0.1', port), timeout=10)
        self.s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.s.sendall(packet(0, 40, struct.pack('<I', 4)))
        _, _, _, size = self.read_header(40)
        self.version = struct.unpack('<I', self.read_exact(size))[0]
        self.s.sendall(packet(0, 50, name.encode() + b'\0'))

    def read_exact(self, n):
        out = b''
        while len(out) < n:
            chunk = self.s.recv(n - len(out))
            if not chunk:
                raise ConnectionError('server closed the connection')
            out += chunk
        return out

    def read_header(self, want):
        while True:
            magic, dev, pid, size = HEADER.unpack(self.read_exact(16))
            if magic != b'ORGB':
                raise ConnectionError('bad magic from the server')
            if pid == want:
                return magic, dev, pid, size
            self.read_exact(size)  # a device list notice

    def count(self):
        self.s.sendall(packet(0, 0))
        _, _, _, size = self.read_header(0)
        return struct.unpack('<I', self.read_exact(size))[0]

    def controller(self, index):
        self.s.sendall(packet(index, 1, struct.pack('<I', 4)))
        _, _, _, size = self.read_header(1)
        data = self.read_exact(size)
        return struct.unpack_from('<i', data, 4)[0], data

    def update_leds(self, index, colours):
        body = struct.pack('<H', len(colours)) + b''.join(struct.pack('<I', c) for c in colours)
        self.s.sendall(packet(index, 1050, struct.pack('<I', len(body) + 4) + body))

    def close(self):
        self.s.close()


def led_count(data):
    """The number of colours at the end of a version-4 controller description."""
    at = 8

    def u16():
        nonlocal at
        v = struct.unpack_from('<H', data, at)[0]
        at += 2
        return v

    def u32():
        nonlocal at
        v = struct.unpack_from('<I', data, at)[0]
        at += 4
        return v

    def skip_str():
        nonlocal at
        n = u16()
        at += n
    for _ in range(6):
        skip_str()
    modes = u16()
    u32()
    for _ in range(modes):
        skip_str()
        at += 4 * 12
        colours = u16()
        at += 4 * colours
    for _ in range(u16()):
        skip_str()
        at += 4 * 4
        m = u16()
        at += m
        u16()  # segments (none)
    leds = u16()
    for _ in range(leds):
        skip_str()
        at += 4
    return u16()


class Simulator:
    def __init__(self, bin_dir, sim_dir):
        self.dir = sim_dir
        self.proc = subprocess.Popen([os.path.join(bin_dir, 'tessel-devsim'), 'serve', '--dir', sim_dir],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.exists(os.path.join(sim_dir, 'control')):
                break
            time.sleep(0.05)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(os.path.join(sim_dir, 'control'))
        self.file = self.sock.makefile('rwb')

    def call(self, **cmd):
        self.file.write(json.dumps(cmd).encode() + b'\n')
        self.file.flush()
        return json.loads(self.file.readline())

    def frame(self):
        return bytes.fromhex(self.call(cmd='dump', device='keyboard', region='frame')['hex'])

    def shutdown(self):
        try:
            self.call(cmd='shutdown')
        except Exception:
            pass
        self.proc.wait(timeout=10)


def proc_cpu_seconds(pid):
    fields = open(f'/proc/{pid}/stat').read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def proc_fds(pid):
    return len(os.listdir(f'/proc/{pid}/fd'))


def proc_rss_kb(pid):
    return int(re.search(r'VmRSS:\s+(\d+)', open(f'/proc/{pid}/status').read()).group(1))


def scaled(c):
    return (c * 255) >> 8


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--bin', required=True)
    ap.add_argument('--quick', action='store_true', help='a short run for CI')
    ap.add_argument('--cycles', type=int, help='connections per soak client (default 1000, 50 quick)')
    ap.add_argument('--seconds', type=float, help='CPU measurement at 60 fps (default 10, 2 quick)')
    ap.add_argument('--samples', type=int, help='latency samples (default 300, 40 quick)')
    ap.add_argument('--max-fd-growth', type=int, default=2)
    ap.add_argument('--max-rss-growth-kb', type=int, default=4096)
    a = ap.parse_args()
    cycles = a.cycles or (50 if a.quick else 1000)
    seconds = a.seconds or (2.0 if a.quick else 10.0)
    samples = a.samples or (40 if a.quick else 300)

    work = tempfile.mkdtemp(prefix='tessel-sdk-bench-')
    for d in ('sim', 'data', 'config', 'run'):
        os.makedirs(os.path.join(work, d), mode=0o700)
    sim = Simulator(a.bin, os.path.join(work, 'sim'))
    for device, route in (('keyboard', 'cable'), ('mouse', 'cable'), ('pad', None), ('headset', None)):
        cmd = {'cmd': 'plug', 'device': device}
        if route:
            cmd['route'] = route
        sim.call(**cmd)
    env = dict(os.environ, TESSEL_SIM_DIR=os.path.join(work, 'sim'), XDG_DATA_HOME=os.path.join(work, 'data'),
               XDG_CONFIG_HOME=os.path.join(work, 'config'), XDG_RUNTIME_DIR=os.path.join(work, 'run'),
               QT_QPA_PLATFORM=os.environ.get('QT_QPA_PLATFORM', 'offscreen'))
    log = open(os.path.join(work, 'tessel.log'), 'w+')
    tessel = subprocess.Popen([os.path.join(a.bin, 'tessel'), '--sdk-server=0'], env=env, stdout=log, stderr=log)
    failures = []
    try:
        port = None
        for _ in range(300):
            log.seek(0)
            m = re.search(r'SDK server listening on .* port (\d+)', log.read())
            if m:
                port = int(m.group(1))
                break
            time.sleep(0.1)
        if not port:
            raise RuntimeError('Tessel did not start its SDK server')
        client = SdkClient(port, 'bench stream')
        keyboard = None
        for _ in range(200):
            if client.count() >= 4:
                for i in range(client.count()):
                    ctype, data = client.controller(i)
                    if ctype == 5:
                        keyboard = (i, led_count(data))
            if keyboard and keyboard[1] > 0:
                break
            time.sleep(0.1)
        if not keyboard:
            raise RuntimeError('no keyboard controller')
        kb, leds = keyboard
        print(f'keyboard: controller {kb}, {leds} LEDs; Tessel pid {tessel.pid}, port {port}')

        # The same stretch with the client connected and silent: what the four devices' own
        # effects and the window cost, so the stream's share can be told apart.
        time.sleep(1)
        cpu0, t0 = proc_cpu_seconds(tessel.pid), time.perf_counter()
        time.sleep(seconds)
        idle_cpu = 100 * (proc_cpu_seconds(tessel.pid) - cpu0) / (time.perf_counter() - t0)
        print(f'Tessel CPU with the client connected and silent: {idle_cpu:.2f} % of one core')

        # Latency: each sample a colour not used before, sent at the pace of 60 a second.
        latencies = []
        for k in range(samples):
            r, g, b = 1 + (k % 200), 255 - (k % 200), (k * 7) % 256
            want = bytes((scaled(r), scaled(g), scaled(b)))
            sent = time.perf_counter()
            client.update_leds(kb, [r | (g << 8) | (b << 16)] * leds)
            while True:
                if want in sim.frame():
                    latencies.append((time.perf_counter() - sent) * 1000)
                    break
                if time.perf_counter() - sent > 2:
                    failures.append(f'sample {k}: the colour did not reach the keyboard in 2 s')
                    break
            time.sleep(max(0.0, 1 / 60 - (time.perf_counter() - sent)))
        if latencies:
            latencies.sort()
            p95 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.95))]
            print(f'direct latency, client send -> keyboard frame: median {statistics.median(latencies):.1f} ms, '
                  f'p95 {p95:.1f} ms over {len(latencies)} samples (goal: median < 20 ms)')

        # CPU at 60 fps, nobody polling the simulator.
        stop = threading.Event()
        sent_frames = [0]

        def stream():
            k = 0
            next_at = time.perf_counter()
            while not stop.is_set():
                c = ((k * 5) % 256) | (((k * 3) % 256) << 8) | (((k * 11) % 256) << 16)
                client.update_leds(kb, [c] * leds)
                k += 1
                sent_frames[0] += 1
                next_at += 1 / 60
                time.sleep(max(0.0, next_at - time.perf_counter()))
        streamer = threading.Thread(target=stream)
        streamer.start()
        time.sleep(0.5)
        frames_before = sim.call(cmd='state')['devices']['keyboard']['counters']['commands'].get('0x12', 0)
        cpu0, t0, sent0 = proc_cpu_seconds(tessel.pid), time.perf_counter(), sent_frames[0]
        time.sleep(seconds)
        cpu1, t1, sent1 = proc_cpu_seconds(tessel.pid), time.perf_counter(), sent_frames[0]
        frames_after = sim.call(cmd='state')['devices']['keyboard']['counters']['commands'].get('0x12', 0)
        fps = (sent1 - sent0) / (t1 - t0)
        stream_cpu = 100 * (cpu1 - cpu0) / (t1 - t0)
        print(f'Tessel CPU while a client streams the keyboard at {fps:.0f} fps: '
              f'{stream_cpu:.2f} % of one core (goal: < 2 %); the stream\'s own share '
              f'{stream_cpu - idle_cpu:.2f} %')
        print(f'keyboard frame chunks in that time: {frames_after - frames_before}')
        if frames_after == frames_before:
            failures.append('the stream did not reach the keyboard')

        # Soak: 10 clients connecting and disconnecting while the stream goes on.
        def churn(n, errors):
            for i in range(cycles):
                try:
                    c = SdkClient(port, f'soak {n}')
                    if c.count() < 4:
                        errors.append(f'client {n}: fewer than four controllers')
                    if i % 10 == 0:
                        c.controller(kb)
                    c.close()
                    done[0] += 1
                except Exception as e:  # noqa: BLE001 - every failure is a finding
                    errors.append(f'client {n} cycle {i}: {e}')
                    return
        # Warm-up: one round so that allocator pools and caches have settled.
        errors = []
        done = [0]
        warm = [threading.Thread(target=churn, args=(n, errors)) for n in range(10)]
        saved = cycles
        cycles = max(5, saved // 20)
        for t in warm:
            t.start()
        for t in warm:
            t.join()
        cycles = saved
        time.sleep(0.5)
        fds0, rss0 = proc_fds(tessel.pid), proc_rss_kb(tessel.pid)
        done[0] = 0
        started = time.perf_counter()
        workers = [threading.Thread(target=churn, args=(n, errors)) for n in range(10)]
        for t in workers:
            t.start()
        for t in workers:
            t.join()
        took = time.perf_counter() - started
        time.sleep(1.0)  # the last disconnections are taken
        fds1, rss1 = proc_fds(tessel.pid), proc_rss_kb(tessel.pid)
        stop.set()
        streamer.join()
        print(f'soak: 10 clients x {cycles} connections ({done[0]} completed) in {took:.1f} s while streaming; '
              f'open files {fds0} -> {fds1}, RSS {rss0} -> {rss1} kB')
        failures += errors[:5]
        if done[0] != 10 * cycles:
            failures.append(f'{10 * cycles - done[0]} soak connections did not complete')
        if tessel.poll() is not None:
            failures.append(f'Tessel ended (status {tessel.returncode})')
        if fds1 - fds0 > a.max_fd_growth:
            failures.append(f'open files grew by {fds1 - fds0}')
        if rss1 - rss0 > a.max_rss_growth_kb:
            failures.append(f'RSS grew by {rss1 - rss0} kB')
        client.close()
    except Exception as e:  # noqa: BLE001
        failures.append(str(e))
    finally:
        if tessel.poll() is None:
            tessel.terminate()
            try:
                tessel.wait(timeout=10)
            except subprocess.TimeoutExpired:
                tessel.kill()
        sim.shutdown()
    if failures:
        log.seek(0)
        sys.stdout.write(''.join(l for l in log.readlines()[-20:] if 'raise()' not in l))
        for f in failures:
            print('FAILED: ' + f)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
