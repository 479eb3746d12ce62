#!/usr/bin/env python3
"""The report of the bundled example, opened in headless Chromium.

report_test.py RIBOTRACE EXAMPLES_DIR

Runs ribotrace --state --report --changes on the bundled example, then checks:
- the covariation counts in the page against counts made here from the
  data, the most probable sequences and every sampled and hidden row of
  the results file;
- the page after its script ran (--dump-dom): one label per interior node
  in the tree, one base per column in the structure drawing, no script
  error in the page or on the console, and each base's letter and colour
  against the selected node's most probable sequence and its .state
  probabilities (the colour scale is inverted here);
- every branch coloured by its expected compensatory changes, the same
  figures as .branches, and a row per helix in the list of the branches
  with most;
- a screenshot that is not one colour.
Exits 77 (skipped) when chromium is not installed.
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

CANONICAL = {"AU", "UA", "CG", "GC", "GU", "UG"}
# The page's colour scale (report.js, COLOUR_STOPS).
COLOUR_STOPS = [(0.0, (165, 0, 38)), (0.5, (244, 109, 67)), (0.7, (254, 224, 139)),
                (0.9, (116, 173, 209)), (1.0, (49, 54, 149))]
QUANT_LEVELS = 63


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def colour_of(p):
    for (p0, c0), (p1, c1) in zip(COLOUR_STOPS, COLOUR_STOPS[1:]):
        if p <= p1:
            t = (p - p0) / (p1 - p0)
            return tuple(a + t * (b - a) for a, b in zip(c0, c1))
    return COLOUR_STOPS[-1][1]


# The colour scale sampled finely: a colour maps back to the probability of
# the nearest sample.
SCALE = [(k / 4000, colour_of(k / 4000)) for k in range(4001)]


def probability_of(rgb):
    return min(SCALE, key=lambda s: sum((a - b) ** 2 for a, b in zip(s[1], rgb)))[0]


def fasta(path):
    records, name = {}, None
    with open(path) as handle:
        for line in handle:
            line = line.rstrip("\n")
            if line.startswith(">"):
                name = line[1:]
                records[name] = ""
            elif name is not None:
                records[name] += line
    return records


def tally(rows, helices):
    counts = []
    for first5, last3, n_pairs in helices:
        canonical = compared = 0
        for row in rows:
            for k in range(n_pairs):
                pair = row[first5 + k] + row[last3 - k]
                if all(b in "ACGU" for b in pair):
                    compared += 1
                    canonical += pair in CANONICAL
        counts.append([canonical, compared])
    return counts


def check_covariation(data, alignment, results, map_fa):
    helices = data["helices"]
    # A header line, the structure, then a name line and a sequence line per taxon.
    taxa = [row.upper().replace("T", "U") for row in alignment[3::2]]
    sampled = [row for name, row in results.items() if name.startswith("anc_")]
    hidden = [row for name, row in results.items() if name.startswith("psr_")]
    expected = [tally(taxa, helices), tally(list(map_fa.values()), helices),
                tally(sampled, helices), tally(hidden, helices)]
    kinds = ["data", "most probable", "sampled", "hidden"]
    for kind, want, got in zip(kinds, expected, data["covariation"]):
        if want != got:
            fail(f"covariation of the {kind} rows: page {got}, counted here {want}")
    if sum(c for c, _ in expected[2]) == 0:
        fail("no canonical pair among the sampled rows: the comparison proves nothing")


def read_state(path, node):
    rows = {}
    with open(path) as handle:
        header = handle.readline().rstrip("\n").split("\t")
        for line in handle:
            fields = dict(zip(header, line.rstrip("\n").split("\t")))
            if fields["Node"] == node:
                rows[int(fields["Site"])] = {b: float(fields["p_" + b]) for b in "ACGU"}
    return rows


def least_confident_node(state_path):
    best = {}
    with open(state_path) as handle:
        header = handle.readline().rstrip("\n").split("\t")
        for line in handle:
            fields = dict(zip(header, line.rstrip("\n").split("\t")))
            p = max(float(fields["p_" + b]) for b in "ACGU")
            total, n = best.get(fields["Node"], (0.0, 0))
            best[fields["Node"]] = (total + p, n + 1)
    return min(best, key=lambda node: best[node][0] / best[node][1])


def chromium(url, *extra):
    profile = tempfile.mkdtemp(prefix="report-test-profile.")
    try:
        return subprocess.run(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + profile, "--enable-logging=stderr", "--v=0",
             *extra, url],
            capture_output=True, text=True, timeout=120)
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def attributes(tag):
    return dict(re.findall(r'([\w-]+)="([^"]*)"', tag))


def check_dom(dom, console, tree_text, node, state, map_fa, n_sites):
    if 'id="script-error"' in dom:
        fail("the page reports a script error: " + re.search(r'id="script-error"[^>]*>([^<]*)', dom)[1])
    errors = [line for line in console.splitlines() if "CONSOLE" in line and "Uncaught" in line]
    if errors:
        fail("console error: " + errors[0])

    tree_svg = re.search(r'<svg id="tree".*?</svg>', dom, re.S)
    if not tree_svg:
        fail("no tree drawing in the page")
    labels = re.findall(r'<text class="inode-label[^"]*"[^>]*>([^<]*)'
                        r'(?:<tspan class="support">[^<]*</tspan>)?</text>', tree_svg[0])
    interior = re.findall(r"\)(anc_\d+)", tree_text)
    if sorted(labels) != sorted(interior):
        fail(f"tree labels {sorted(labels)}, the tree file's interior nodes {sorted(interior)}")

    structure = re.search(r'<svg id="structure".*?</svg>', dom, re.S)
    if not structure:
        fail("no structure drawing in the page")
    bases = [attributes(tag) for tag in re.findall(r'<circle class="base"[^>]*>', structure[0])]
    if sorted(int(b["data-column"]) for b in bases) != list(range(1, n_sites + 1)):
        fail(f"{len(bases)} bases drawn for {n_sites} columns, or columns missing")
    if f"<span id=\"node-name\">{node}</span>" not in dom:
        fail(f"{node} is not the selected node")
    # The consensus tree's clade probabilities beside the nodes, and the
    # selected node's taxa in its panel.
    if len(re.findall(r'<tspan class="support">', tree_svg[0])) < len(interior) - 2:
        fail("the clade probabilities are missing beside the nodes")
    if not re.search(r'id="node-taxa"[^>]*>Taxa below it \(\d+\): ', dom):
        fail("the selected node's panel does not list its taxa")

    sequence = map_fa[node]
    worst = 0.0
    for base in bases:
        column = int(base["data-column"])
        letter = base["data-base"]
        if sequence[column - 1] == "-":
            continue  # absent there; the page still shows the most probable base
        if letter != sequence[column - 1]:
            fail(f"column {column}: base {letter}, most probable sequence {sequence[column - 1]}")
        rgb = tuple(int(v) for v in re.fullmatch(r"rgb\((\d+),(\d+),(\d+)\)", base["fill"]).groups())
        expected = state[column][letter]
        worst = max(worst, abs(probability_of(rgb) - expected))
    # The page holds probabilities to 1/63 and colours to whole RGB units.
    tolerance = 0.5 / QUANT_LEVELS + 0.006
    if worst > tolerance:
        fail(f"a base colour maps back to a probability {worst:.4f} off its .state value")
    uncertain = sum(1 for c in state if max(state[c].values()) < 0.9)
    print(f"{len(bases)} bases of {node} match map.fa and .state within {worst:.4f} "
          f"({uncertain} columns below 0.9)")


def check_changes(dom, data, branches_path):
    """With --changes: every branch drawn by its expected compensatory
    changes, the same figures as .branches, and the per-helix list."""
    branches = {}
    with open(branches_path) as handle:
        header = handle.readline().rstrip("\n").split("\t")
        for line in handle:
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            branches[row["Branch"]] = float(row["p_cbc"])
    page = {data["name"][i]: v for i, v in enumerate(data["cbc"]) if v >= 0}
    if set(page) != set(branches):
        fail(f"branches on the page {sorted(page)}, in .branches {sorted(branches)}")
    # The page holds four significant digits.
    worst = max(abs(page[name] - branches[name]) / (1e-3 + branches[name]) for name in page)
    if worst > 1e-3:
        fail(f"a branch's expected compensatory changes differ from .branches by a share of {worst}")
    drawn = re.findall(r'<path class="change"', dom)
    if len(drawn) != len(branches):
        fail(f"{len(drawn)} branches coloured by their changes, {len(branches)} branches")
    section = re.search(r'<section id="changes-section"([^>]*)>(.*?)</section>', dom, re.S)
    if not section or "hidden" in section[1]:
        fail("the compensatory changes section is missing or hidden")
    rows = re.findall(r"<tr><td[^>]*>H\d+</td>", section[2])
    if len(rows) != len(data["helices"]):
        fail(f"{len(rows)} helix rows for {len(data['helices'])} helices")
    print(f"{len(branches)} branches coloured by their compensatory changes; {len(rows)} helices listed")


def png_colours(path):
    """The number of distinct pixel colours of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as handle:
        blob = handle.read()
    if blob[:8] != b"\x89PNG\r\n\x1a\n":
        fail(path + " is not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(blob):
        length, kind = struct.unpack(">I4s", blob[pos:pos + 8])
        chunk = blob[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", chunk)
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    if depth != 8 or colour_type not in (2, 6) or interlace:
        fail(f"unexpected PNG format (depth {depth}, colour type {colour_type})")
    bpp = 3 if colour_type == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    previous = bytearray(stride)
    colours = set()
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        colours.update(bytes(line[i:i + 3]) for i in range(0, stride, bpp))
        previous = line
    return len(colours)


def main():
    ribotrace, examples = sys.argv[1], sys.argv[2]
    if shutil.which("chromium") is None:
        print("chromium is not installed (scripts/install-deps.sh installs it); skipped")
        return 77
    work = tempfile.mkdtemp(prefix="report-test.")
    try:
        out = os.path.join(work, "example.fa")
        data_file = os.path.join(examples, "plant_srp10.txt")
        run = subprocess.run(
            [ribotrace, "--seed=7", "--threads=2", "--state", "--report", "--changes", data_file,
             os.path.join(examples, "plant_srp10.nex.con.tre"),
             os.path.join(examples, "plant_srp10.nex.pstat"), out, "1", "1.0", "20", "0", "1"],
            capture_output=True, text=True)
        if run.returncode != 0:
            fail("ribotrace: " + run.stdout + run.stderr)
        page = open(out + ".html").read()
        data = json.loads(re.search(r'<script type="application/json" id="report-data">(.*?)</script>',
                                    page, re.S)[1])
        # MrBayes's own convergence figures from the .pstat (one run here).
        if [row[0] for row in data["convergence"]] != [
                "smallest ESS in the .pstat (mark 100)", "largest PSRF in the .pstat (mark 1.05)"]:
            fail(f"convergence rows {data['convergence']}")
        with open(data_file) as handle:
            alignment = [line.strip() for line in handle if line.strip()]
        map_fa = fasta(out + ".map.fa")
        check_covariation(data, alignment, fasta(out), map_fa)

        node = least_confident_node(out + ".state")
        url = "file://" + os.path.abspath(out) + ".html#" + node
        shown = chromium(url, "--dump-dom")
        if shown.returncode != 0:
            fail("chromium --dump-dom: " + shown.stderr[-2000:])
        n_sites = len(alignment[1])
        check_dom(shown.stdout, shown.stderr, open(out + ".tree").read(), node,
                  read_state(out + ".state", node), map_fa, n_sites)
        check_changes(shown.stdout, data, out + ".branches")

        # A fragment that is not valid percent-encoding names no node: the
        # page still draws, with its first node, and throws nothing.
        broken = chromium("file://" + os.path.abspath(out) + ".html#%E0%A4%A", "--dump-dom")
        if "Uncaught" in broken.stderr or 'id="script-error"' in broken.stdout:
            fail("a malformed fragment breaks the page: " + broken.stderr[-500:])
        if '<svg id="tree"' not in broken.stdout:
            fail("no tree drawn under a malformed fragment")

        png = os.path.join(work, "report.png")
        shot = chromium(url, "--screenshot=" + png, "--window-size=1000,1400", "--hide-scrollbars")
        if shot.returncode != 0 or not os.path.exists(png):
            fail("chromium --screenshot: " + shot.stderr[-2000:])
        colours = png_colours(png)
        if colours < 20:
            fail(f"the screenshot has {colours} colours")
        print(f"screenshot: {colours} colours")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("report test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
