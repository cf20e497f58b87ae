#!/usr/bin/env python3
"""What the end-to-end tests check of a page of plots, with Python's own modules:

  check PAGE JSON...     it parses as XML, runs and fetches nothing, and each plot has a
                         series per entry of the reports, with their figures; prints N of each
  drawn PNG [#RRGGBB...] the screenshot is not blank (and shows each colour)
  requests NETLOG        fails on any URL the page asked for in a Chromium net log
  browse SECONDS CMD...  runs CMD (Chromium), waits for it and every process it
                         started, killed after SECONDS or when this is ended
"""
import collections
import contextlib
import ctypes
import json
import os
import re
import signal
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
import zlib

# What makes a page run or fetch something.
TAGS = {"script", "iframe", "object", "embed", "link", "img", "image", "use", "base"}
FETCHING = {"src", "href", "srcset", "action", "formaction", "poster", "background", "xlink:href", "style"}


def fail(message):
    sys.exit(f"page.py: {message}")


def check(page, *reports):
    try:
        root = ET.fromstring(text := open(page, encoding="utf-8").read())
    except ET.ParseError as error:
        fail(f"{page} does not parse as XML: {error}")
    if re.search(r"(?i)<script|https?:|url\(|@import", text):
        fail("a script, a URL or a style that fetches")
    for e in root.iter():
        named = [n for n, v in e.attrib.items() if n in FETCHING or n.startswith("on")
                 or "//" in v and not n.startswith("data-") and n != "aria-label"]
        if e.tag in TAGS or named:
            fail(f"<{e.tag} {' '.join(named)}>")
    methods = [m for report in reports for m in json.load(open(report))["methods"]]
    plots = {svg.get("data-plot"): svg for svg in root.iter("svg")}
    sampled = [m for m in methods if m["samples"] > 0]
    # Each plot's entries, and the figures a series carries as data-KEY. A run cut into windows draws
    # each window's p99 and maximum; one window is the whole run, and draws none.
    drawn = {"tradeoff": ([m for m in sampled if m["p99"] is not None and m.get("cpu_percent") is not None],
                          ("p99", "interval")),
             "percentiles": (sampled, ("p50", "p90", "p99", "p999", "max")),
             "histograms": (sampled, ("samples", "min", "max")),
             "timeline": ([m for m in methods if len(m.get("timeline") or []) > 1], ())}
    said = []
    for name, (entries, keys) in drawn.items():
        if name not in plots:
            if entries or name != "timeline":
                fail(f"no {name} plot")
            break
        of_class = lambda c: [g for g in plots[name].iter("g") if g.get("class") == c]
        series = of_class("series")
        if len(series) != len(entries) or not of_class("axes") or not of_class("legend"):
            fail(f"{name}: {len(series)} series for {len(entries)} entries, or no axes or legend")
        for g, m in zip(series, entries):
            shown, wanted = {k: g.get(f"data-{k}") for k in keys}, {k: str(m[k]) for k in keys}
            if name == "tradeoff":
                shown["cpu"], wanted["cpu"] = float(g.get("data-cpu")), m["cpu_percent"]
            if name == "histograms":
                shown["bars"] = sum(int(b.get("data-count")) for b in g.iter("rect") if b.get("data-count"))
                wanted["bars"] = m["samples"]
            for figure in ("p99", "max") if name == "timeline" else ():
                shown[figure] = [f.get("data-values") for f in g.iter("g") if f.get("data-figure") == figure]
                wanted[figure] = [" ".join(str(w[figure]) for w in m["timeline"] if w[figure] is not None)]
            if shown != wanted:
                fail(f"{name}: {g.get('data-entry')} shows {shown}, the JSON {wanted}")
        said.append(f"{name} {len(series)}")
    print(", ".join(said))


def drawn(png, *colours):
    """Not blank, and each colour in 20 pixels or more, of an 8-bit RGB(A) PNG."""
    data = open(png, "rb").read()
    at, idat = 8, b""
    while data[:8] == b"\x89PNG\r\n\x1a\n" and at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlaced = struct.unpack(">IIBBBBB", data[at + 8:at + 21])
        idat += data[at + 8:at + 8 + length] if kind == b"IDAT" else b""
        at += 12 + length
    if not idat or depth != 8 or colour not in (2, 6) or interlaced:
        fail(f"{png} is no 8-bit RGB(A) PNG that is not interlaced")
    bpp = 3 if colour == 2 else 4
    raw, stride, prior, seen = zlib.decompress(idat), width * bpp, bytes(width * bpp), collections.Counter()
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride) if kind else ():  # the row's filter undone: Sub, Up, Average or Paeth
            a, b, c = line[x - bpp] if x >= bpp else 0, prior[x], prior[x - bpp] if x >= bpp else 0
            pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
            line[x] = (line[x] + (a if kind == 1 else b if kind == 2 else (a + b) // 2 if kind == 3 else
                                  a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        seen.update(bytes(line[x:x + 3]) for x in range(0, stride, bpp))
        prior = line
    inked = width * height - seen[b"\xff\xff\xff"]
    if inked < width * height // 50 or len(seen) < 8:
        fail(f"{png} is blank: {inked} of {width * height} pixels drawn, {len(seen)} colours")
    for want in (bytes.fromhex(c.lstrip("#")) for c in colours):
        if (near := sum(n for pixel, n in seen.items() if all(abs(p - w) <= 12 for p, w in zip(pixel, want)))) < 20:
            fail(f"{png} shows #{want.hex()} in {near} pixels")


def requests(netlog):
    log = json.load(open(netlog))
    start = log["constants"]["logEventTypes"]["URL_REQUEST_START_JOB"]
    # The browser's own requests (updates, accounts) have no origin; a page's do.
    asked = [e["params"]["url"] for e in log["events"]
             if e["type"] == start and "url" in e.get("params", {}) and e["params"].get("initiator") != "not an origin"]
    if asked:
        fail(f"the page asked for {', '.join(asked)}")


def browse(seconds, *command):
    # Chromium's helpers outlive the browser by a moment, and no longer as its
    # children: as a subreaper this process gets them, and waits for them.
    if ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0) != 0:  # PR_SET_CHILD_SUBREAPER
        fail("cannot wait for Chromium's helpers: prctl failed")

    for ending in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(ending, lambda *_: sys.exit("ended"))
    # A process group of its own, which the helpers stay in, to be killed whole.
    browser = subprocess.Popen(command, preexec_fn=os.setpgrp)
    try:
        status = browser.wait(timeout=float(seconds))
    except (subprocess.TimeoutExpired, SystemExit) as why:
        print(f"page.py: {command[0]} {why}: killed", file=sys.stderr)
        status = 124
    deadline = time.monotonic() + 5
    with contextlib.suppress(ChildProcessError):  # none left
        while True:
            if status == 124 or time.monotonic() > deadline:
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(browser.pid, signal.SIGKILL)
            if os.waitpid(-1, os.WNOHANG)[0] == 0:
                time.sleep(0.05)
    sys.exit(status if status >= 0 else 128 - status)


if __name__ == "__main__":
    commands = {"check": check, "drawn": drawn, "requests": requests, "browse": browse}
    (commands.get(sys.argv[1:2] and sys.argv[1]) or (lambda *_: fail(__doc__)))(*sys.argv[2:])
