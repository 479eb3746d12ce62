#!/usr/bin/env python3
"""End to end: data simulated with gamma rates and indels, ribotrace's state,
pair and gap probabilities scored by bench/calibrate.py against the truth,
once on the true root and once rooted elsewhere (--outgroup), where every
node must still find its true counterpart.

    calibration_test.py SIMULATE RIBOTRACE
"""
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
LINE = re.compile(r"^(.*?)\s+n=(\d+)\s+ECE=([\d.]+).*?mean p=([\d.]+)\s+observed=([\d.]+)", re.M)


def scores(sim, out):
    text = subprocess.run([sys.executable, os.path.join(HERE, "calibrate.py"), sim, out],
                          check=True, capture_output=True, text=True).stdout
    assert "without a true counterpart" not in text, text
    return text, {m[1].strip(): (int(m[2]), float(m[3]), float(m[4]), float(m[5])) for m in LINE.finditer(text)}


def check(text, found, name, max_ece, max_bias):
    n, ece, mean_p, observed = found[name]
    assert n > 500 and ece < max_ece and abs(mean_p - observed) < max_bias, "%s\n%s" % (name, text)


def main(simulate, ribotrace):
    with tempfile.TemporaryDirectory() as sim:
        subprocess.run([simulate, "--taxa=40", "--stems=40", "--loops=120", "--alpha=0.8,0.6",
                        "--deletion-rate=0.1", "--seed=5", sim], check=True, capture_output=True)
        for extra in ([], ["--outgroup=t7"]):
            subprocess.run([ribotrace, "--state", "--gaps=tree", "--seed=1", *extra, "data.txt", "tree.nwk",
                            "params.pstat", "out.fa", "1", "1.0", "0", "0", "0"],
                           cwd=sim, check=True, capture_output=True)
            text, found = scores(sim, os.path.join(sim, "out.fa"))
            check(text, found, ".state nucleotide: most probable state", 0.02, 0.01)
            check(text, found, ".pairs doublet: most probable state", 0.04, 0.02)
            check(text, found, "p_gap: all cells", 0.01, 0.005)
            # A character held on two sides of a node was there: one origin.
            assert re.search(r"two sides: \d+ cells,.*truly absent: 0$", text, re.M), text
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(*(os.path.abspath(p) for p in sys.argv[1:3]))
