#!/usr/bin/env python3
"""What a running Quorvane costs the machine: CPU of the whole process and of
the terminal (the tmux server drawing it) over 10 s, in a tmux terminal of each
size, sampling by Sleep, by BusyWait, and stopped with a full buffer; its peak
resident memory; and the time from start to the first frame on a
pseudo-terminal. Each figure is repeated, and given as median (min-max).

Usage: bench/observer_cost.py BUILD/quorvane [--seconds N] [--repeats N] [--starts N]
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

# What is typed once the frame is up, and how long to let it settle: the stopped
# case fills the buffer (500 samples, 6 ms each) before s stops the sampling.
MODES = (("Sleep", [], 0.5), ("BusyWait", ["m"], 0.5), ("stopped", ["s"], 3.5))


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


def cpu_in_tmux(binary, width, height, keys, settle, seconds):
    """Percent of one core used by the program and by the tmux server, and the
    program's peak RSS in KiB."""
    sock = f"quorvane-cost-{os.getpid()}"
    tmux = ["tmux", "-L", sock, "-f", "/dev/null"]
    subprocess.run(tmux + ["new-session", "-d", "-x", str(width), "-y", str(height), binary], check=True)
    try:
        subprocess.run(tmux + ["set-option", "status", "off"], check=True, stdout=subprocess.DEVNULL)
        time.sleep(settle)
        for key in keys:
            subprocess.run(tmux + ["send-keys", key], check=True)
        time.sleep(1.0)
        pid = int(subprocess.check_output(tmux + ["display", "-p", "#{pane_pid}"]).decode())
        server = int(subprocess.check_output(tmux + ["display", "-p", "#{pid}"]).decode())
        before, server_before, start = cpu_ticks(pid), cpu_ticks(server), time.monotonic()
        time.sleep(seconds)
        used, server_used = cpu_ticks(pid) - before, cpu_ticks(server) - server_before
        wall = time.monotonic() - start
        rss = peak_rss_kib(pid)
        subprocess.run(tmux + ["send-keys", "q"], check=True)
        time.sleep(0.5)
        return 100.0 * used / TICKS / wall, 100.0 * server_used / TICKS / wall, rss
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


def spread(values):
    return f"{statistics.median(values):.2f} ({min(values):.2f}-{max(values):.2f})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--starts", type=int, default=20)
    parser.add_argument("--modes", default=",".join(m[0] for m in MODES), help="which of them, by name")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    if not shutil.which("tmux"):
        raise SystemExit("tmux is needed")
    print(f"% of one core over {args.seconds:.0f} s, median (min-max) of {args.repeats} runs")
    print(f"{'size':8} {'mode':9} {'program':>20} {'tmux server':>20} {'peak RSS':>9}")
    for width, height in ((80, 30), (200, 60)):
        for mode, keys, settle in (m for m in MODES if m[0] in args.modes.split(",")):
            runs = [cpu_in_tmux(binary, width, height, keys, settle, args.seconds) for _ in range(args.repeats)]
            rss = max(r[2] for r in runs) / 1024
            print(f"{width}x{height:<5} {mode:9} {spread([r[0] for r in runs]):>20} "
                  f"{spread([r[1] for r in runs]):>20} {rss:6.1f} MiB", flush=True)
    starts = sorted(ms for ms in (first_frame_ms(binary) for _ in range(args.starts)) if ms is not None)
    if starts:
        print(f"start to first frame: median {statistics.median(starts):.1f} ms, "
              f"max {starts[-1]:.1f} ms over {len(starts)} starts")


if __name__ == "__main__":
    main()
