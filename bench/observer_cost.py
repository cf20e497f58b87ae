#!/usr/bin/env python3
"""What a running Quorvane costs the machine: CPU of the whole process over
10 s and its peak resident memory, in a tmux terminal of each size, and the
time from start to the first frame on a pseudo-terminal.

Usage: bench/observer_cost.py BUILD/quorvane [--seconds N] [--starts N]
"""
import argparse
import fcntl
import os
import pty
import select
import shutil
import statistics
import struct
import subprocess
import termios
import time

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def peak_rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def cpu_in_tmux(binary, width, height, seconds):
    sock = f"quorvane-cost-{os.getpid()}"
    tmux = ["tmux", "-L", sock, "-f", "/dev/null"]
    subprocess.run(tmux + ["new-session", "-d", "-x", str(width), "-y", str(height), binary], check=True)
    try:
        time.sleep(1.0)  # past start-up
        pid = int(subprocess.check_output(tmux + ["display", "-p", "#{pane_pid}"]).decode())
        before, start = cpu_ticks(pid), time.monotonic()
        time.sleep(seconds)
        used = (cpu_ticks(pid) - before) / TICKS
        wall = time.monotonic() - start
        rss = peak_rss_kib(pid)
        subprocess.run(tmux + ["send-keys", "q"], check=True)
        time.sleep(0.5)
        return 100.0 * used / wall, rss
    finally:
        subprocess.run(tmux + ["kill-server"], stderr=subprocess.DEVNULL)


def first_frame_ms(binary, width=80, height=30):
    started = time.monotonic()
    pid, fd = pty.fork()
    if pid == 0:
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", height, width, 0, 0))
        os.execv(binary, [binary])
    seen = b""
    elapsed = None
    while elapsed is None:
        ready, _, _ = select.select([fd], [], [], 5.0)
        if not ready:
            break
        try:
            seen += os.read(fd, 65536)
        except OSError:
            break
        if "╭".encode() in seen:
            elapsed = (time.monotonic() - started) * 1000.0
    os.write(fd, b"q")
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:  # keep draining so the program never blocks on output
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                os.read(fd, 65536)
            except OSError:
                break
        if os.waitpid(pid, os.WNOHANG)[0] == pid:
            break
    os.close(fd)
    return elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--starts", type=int, default=20)
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    if not shutil.which("tmux"):
        raise SystemExit("tmux is needed")
    for width, height in ((80, 30), (200, 60)):
        cpu, rss = cpu_in_tmux(binary, width, height, args.seconds)
        print(f"{width}x{height}: CPU {cpu:.2f} % of one core over {args.seconds:.0f} s, peak RSS {rss / 1024:.1f} MiB")
    starts = sorted(ms for ms in (first_frame_ms(binary) for _ in range(args.starts)) if ms is not None)
    if starts:
        print(f"start to first frame: median {statistics.median(starts):.1f} ms, "
              f"max {starts[-1]:.1f} ms over {len(starts)} starts")


if __name__ == "__main__":
    main()
