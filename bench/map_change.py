#!/usr/bin/env python3
"""How much the most probable ancestral sequences move when ribotrace
integrates over MrBayes's posterior sample instead of using the consensus
tree with the mean parameters.

    bench/map_change.py RIBOTRACE DATA NEX [BURNIN] [TREES]

NEX is the NEXUS file that MrBayes ran with two or more runs: NEX.con.tre
and NEX.pstat (sumt, sump) and NEX.run<r>.t and NEX.run<r>.p beside it.
BURNIN (default 0.5, pairnex's sumt burn-in) and TREES (default 1000) go to
the integrated run. Both runs are rooted on the alignment's first taxon.
For every clade that the integrated run gives probability >= 0.95 and the
consensus tree holds, prints the columns whose most probable state
(.map.fa) differs, then the totals, over all clades both share as well,
and the integrated run's time per tree.
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gap_shares import descendants  # noqa: E402


def records(path):
    out, name = {}, None
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith(">"):
                name = line[1:]
            elif name is not None:
                out[name] = line
    return out


def run(args):
    result = subprocess.run(args, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    if result.returncode != 0:
        sys.exit(f"{' '.join(args)} failed:\n{result.stdout}{result.stderr}")
    return result


def main(ribotrace, data, nex, burnin="0.5", trees="1000"):
    runs = sorted(glob.glob(nex + ".run*.t"), key=lambda p: int(re.search(r"run(\d+)\.t$", p)[1]))
    with tempfile.TemporaryDirectory() as work:
        sample = os.path.join(work, "sample.fa")
        timed = run([ribotrace, "--timings", "--seed=1", f"--burnin={burnin}", f"--trees={trees}",
                     data, ",".join(runs), ",".join(r[:-2] + ".p" for r in runs), sample,
                     "1", "1.0", "1", "1", "0"])
        first_taxon = list(records(sample))[1]  # after SS_cons, with include_data 1
        consensus = os.path.join(work, "con.fa")
        run([ribotrace, "--seed=1", f"--outgroup={first_taxon}", data, nex + ".con.tre",
             nex + ".pstat", consensus, "1", "1.0", "1", "0", "0"])
        with open(consensus + ".tree") as f:
            by_taxa = {frozenset(t): n for n, t in descendants(f.read().strip()).items()}
        with open(sample + ".clades") as f:
            clades = [line.rstrip("\n").split("\t") for line in f][1:]
        con_map, int_map = records(consensus + ".map.fa"), records(sample + ".map.fa")
    per_tree = re.search(r"(\d+) trees in \S+ s: (\S+) s per tree", timed.stderr)

    totals = {"supported": [0, 0, 0, 0], "shared": [0, 0, 0, 0]}  # clades, changed, diffs, sites
    print("clade\tprob\ttaxa\tdiffering\tshare")
    for cid, prob, n_taxa, members in clades:
        node = by_taxa.get(frozenset(members.split(",")))
        if node is None:
            continue
        a, b = con_map[node], int_map[cid]
        diffs = sum(x != y for x, y in zip(a, b))
        groups = ["shared"] + (["supported"] if float(prob) >= 0.95 else [])
        for g in groups:
            t = totals[g]
            t[0], t[1], t[2], t[3] = t[0] + 1, t[1] + (diffs > 0), t[2] + diffs, t[3] + len(a)
        if float(prob) >= 0.95:
            print(f"{cid}\t{float(prob):.3f}\t{n_taxa}\t{diffs}\t{diffs / len(a):.4f}")
    for g, (n, changed, diffs, sites) in totals.items():
        print(f"{g} clades (prob >= {'0.95' if g == 'supported' else '0.5'}, in both): {n}, "
              f"{changed} change; {diffs} of {sites} columns differ "
              f"({100 * diffs / max(sites, 1):.2f}%)")
    if per_tree:
        print(f"integrated run: {per_tree[1]} trees, {per_tree[2]} s per tree")


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
