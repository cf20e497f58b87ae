#!/usr/bin/env python3
"""What the end-to-end tests check of a page of plots, with Python's own
modules alone (no imaging library needed):

  page.py check PAGE JSON...     the page parses as XML, nothing in it runs or
                                 is fetched, and each plot has a series per
                                 entry of the reports, with their figures;
                                 prints "tradeoff N, percentiles N, ..."
  page.py only PAGE ID OUT       a copy of PAGE showing only section ID
  page.py drawn PNG [COLOUR...]  the screenshot is not blank (and shows each
                                 colour, #rrggbb)
  page.py requests NETLOG        the URLs a page asked for in a Chromium net
                                 log; fails if there are any
  page.py browse SECONDS COMMAND...
                                 runs COMMAND (Chromium) and waits for it and
                                 for every process it started; after SECONDS,
                                 or when this is ended, they are killed first
"""
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

# Attributes through which a page fetches or runs something.
FETCHING = {"src", "href", "srcset", "action", "formaction", "poster", "background", "xlink:href", "style"}


def fail(message):
    print(f"page.py: {message}", file=sys.stderr)
    sys.exit(1)


def series_of(svg, css_class="series"):
    return [g for g in svg.iter("g") if g.get("class") == css_class]


def check(page, *reports):
    text = open(page, encoding="utf-8").read()
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        fail(f"{page} does not parse as XML: {error}")
    for element in root.iter():
        if element.tag in ("script", "iframe", "object", "embed", "link", "img", "image", "use", "base"):
            fail(f"a <{element.tag}> element")
        for name, value in element.attrib.items():
            if name in FETCHING or name.startswith("on"):
                fail(f"<{element.tag} {name}=\"{value}\">")
    for style in root.iter("style"):
        if re.search(r"url\(|@import", style.text or ""):
            fail("the style fetches")
    if re.search(r"https?:|//", " ".join(f"{n}={v}" for e in root.iter() for n, v in e.attrib.items()
                                         if not n.startswith("data-") and n != "aria-label")):
        fail("a URL in an attribute")
    methods = [m for report in reports for m in json.load(open(report))["methods"]]
    plots = {svg.get("data-plot"): svg for svg in root.iter("svg")}
    drawn = {
        "tradeoff": [m for m in methods if m["p99"] is not None and m.get("cpu_percent") is not None],
        "percentiles": [m for m in methods if m["samples"] > 0],
        "histograms": [m for m in methods if m["samples"] > 0],
    }
    said = []
    for name, entries in drawn.items():
        if name not in plots:
            fail(f"no {name} plot")
        svg = plots[name]
        series = series_of(svg)
        if len(series) != len(entries) or not series_of(svg, "axes") or not series_of(svg, "legend"):
            fail(f"{name}: {len(series)} series for {len(entries)} entries, or no axes or legend")
        for g, m in zip(series, entries):
            if name == "tradeoff":
                figures = {"p99": m["p99"], "interval": m["interval"]}
                if float(g.get("data-cpu")) != m["cpu_percent"]:
                    fail(f"{name}: {g.get('data-entry')} CPU {g.get('data-cpu')}, JSON {m['cpu_percent']}")
            elif name == "percentiles":
                figures = {key: m[key] for key in ("p50", "p90", "p99", "p999", "max")}
            else:
                figures = {"samples": m["samples"], "min": m["min"], "max": m["max"]}
                counted = sum(int(bar.get("data-count")) for bar in g.iter("rect") if bar.get("data-count"))
                if counted != m["samples"]:
                    fail(f"{name}: {g.get('data-entry')}'s bars count {counted}, JSON {m['samples']}")
            for key, value in figures.items():
                if g.get(f"data-{key}") != str(value):
                    fail(f"{name}: {g.get('data-entry')} {key} {g.get(f'data-{key}')}, JSON {value}")
        said.append(f"{name} {len(series)}")
    # A run cut into windows draws each window's p99 and maximum; one window
    # is the whole run, and draws none.
    timed = [m for m in methods if len(m.get("timeline") or []) > 1]
    if timed:
        if "timeline" not in plots:
            fail("no timeline plot")
        series = series_of(plots["timeline"])
        if len(series) != len(timed):
            fail(f"timeline: {len(series)} series for {len(timed)} entries")
        for g, m in zip(series, timed):
            for figure in ("p99", "max"):
                wanted = " ".join(str(w[figure]) for w in m["timeline"] if w[figure] is not None)
                shown = [f.get("data-values") for f in g.iter("g") if f.get("data-figure") == figure]
                if shown != [wanted]:
                    fail(f"timeline: {g.get('data-entry')} {figure} {shown}, JSON {wanted}")
        said.append(f"timeline {len(series)}")
    elif "timeline" in plots:
        fail("a timeline of runs of one window each")
    print(", ".join(said))


def only(page, section, out):
    text = open(page, encoding="utf-8").read()
    hide = f"header, footer, main > section:not(#{section}) {{ display: none !important; }}"
    open(out, "w", encoding="utf-8").write(text.replace("</style>", hide + "</style>", 1))


def decode(png):
    """Width, height, bytes a pixel and the rows of an 8-bit RGB(A) PNG."""
    data = open(png, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail(f"{png} is no PNG")
    at, chunks = 8, []
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlaced = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks.append(body)
    if depth != 8 or colour not in (2, 6) or interlaced:
        fail(f"{png}: a PNG of depth {depth}, colour type {colour}, interlaced {interlaced}")
    bpp = 3 if colour == 2 else 4
    raw, stride, rows, prior = zlib.decompress(b"".join(chunks)), width * bpp, [], bytes(width * bpp)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride) if kind else ():
            a, b = line[x - bpp] if x >= bpp else 0, prior[x]
            c = prior[x - bpp] if x >= bpp else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            else:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prior = line
    return width, height, bpp, rows


def drawn(png, *colours):
    width, height, bpp, rows = decode(png)
    seen, inked = {}, 0
    for row in rows:
        for x in range(0, width * bpp, bpp):
            pixel = row[x:x + 3]
            seen[pixel] = seen.get(pixel, 0) + 1
            inked += pixel != b"\xff\xff\xff"
    if inked < width * height // 50 or len(seen) < 8:
        fail(f"{png} is blank: {inked} of {width * height} pixels drawn, {len(seen)} colours")
    for colour in colours:
        want = bytes.fromhex(colour.lstrip("#"))
        near = sum(n for pixel, n in seen.items() if all(abs(p - w) <= 12 for p, w in zip(pixel, want)))
        if near < 20:
            fail(f"{png} shows {colour} in {near} pixels")


def requests(netlog):
    log = json.load(open(netlog))
    start = log["constants"]["logEventTypes"]["URL_REQUEST_START_JOB"]
    # The browser's own requests (updates, accounts) have no origin; a page's do.
    asked = [e["params"]["url"] for e in log["events"]
             if e["type"] == start and "url" in e.get("params", {}) and e["params"].get("initiator") != "not an origin"]
    if asked:
        fail("the page asked for " + ", ".join(asked))


def browse(seconds, *command):
    # Chromium's helpers outlive the browser by a moment, and no longer as its
    # children: as a subreaper this process gets them, and waits for them.
    PR_SET_CHILD_SUBREAPER = 36
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        fail("cannot wait for Chromium's helpers: prctl failed")

    def ended(*_):
        raise TimeoutError("ended")

    signal.signal(signal.SIGTERM, ended)
    signal.signal(signal.SIGHUP, ended)
    # A process group of its own, which the helpers stay in, to be killed whole.
    browser = subprocess.Popen(command, preexec_fn=os.setpgrp)
    try:
        status = browser.wait(timeout=float(seconds))
    except (subprocess.TimeoutExpired, TimeoutError) as why:
        print(f"page.py: {command[0]} {why}: killed", file=sys.stderr)
        status = 124
    deadline = time.monotonic() + 5
    while True:
        if status == 124 or time.monotonic() > deadline:
            try:
                os.killpg(browser.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        try:
            if os.waitpid(-1, os.WNOHANG)[0] == 0:
                time.sleep(0.05)
        except ChildProcessError:
            break
    sys.exit(status if status >= 0 else 128 - status)


if __name__ == "__main__":
    command = {"check": check, "only": only, "drawn": drawn, "requests": requests, "browse": browse}.get(sys.argv[1:2] and sys.argv[1])
    if command is None:
        fail(__doc__)
    command(*sys.argv[2:])
