#!/usr/bin/env python3
"""ribotrace over the bundled example's two MrBayes runs (.t and .p), checked
against an independent count: dendropy reads the sampled trees, the same
burn-in and selection pick the used samples, and every clade's share of them
(the taxa on the far side of each branch from the outgroup) must equal the
probability in out_file.clades; every used sample's log-likelihood that
--loglik prints must match the LnL of its .p row within 0.01.

Usage: clade_count_test.py RIBOTRACE EXAMPLES_DIR. Exit status 77 (skipped)
when dendropy is missing (scripts/install-deps.sh installs python3-dendropy).
"""
import math
import os
import re
import subprocess
import sys
import tempfile

BURNIN = 0.25
TREES = 100
MIN_CLADE = 0.1


def used_samples(tree_lists):
    """(run, index) of the used samples: floor(burnin x n) of each run's n
    dropped, the i-th of N taken at floor(i x R / N) of the R that remain."""
    remaining = []
    for run, trees in enumerate(tree_lists):
        dropped = math.floor(BURNIN * len(trees))
        remaining += [(run, i) for i in range(dropped, len(trees))]
    n = min(TREES, len(remaining))
    return [remaining[i * len(remaining) // n] for i in range(n)]


def clades(tree, outgroup, everyone):
    """The clades of the tree rooted on the outgroup: per branch, the taxa on
    the side away from the outgroup, with two taxa or more."""
    found = set()
    for node in tree.postorder_node_iter():
        taxa = frozenset(leaf.taxon.label for leaf in node.leaf_iter())
        if outgroup in taxa:
            taxa = everyone - taxa
        if 2 <= len(taxa) < len(everyone):
            found.add(taxa)
    return found


def lnl_by_generation(path):
    with open(path) as handle:
        lines = [line.rstrip("\n").split("\t") for line in handle if line.strip()]
    header = lines[1]
    gen, lnl = header.index("Gen"), header.index("LnL")
    return {int(row[gen]): float(row[lnl]) for row in lines[2:]}


def main(ribotrace, examples):
    try:
        import dendropy
    except ImportError:
        print("dendropy is not installed (scripts/install-deps.sh installs python3-dendropy): skipped")
        return 77
    base = os.path.join(examples, "plant_srp10_2runs.nex")
    data = os.path.join(examples, "plant_srp10.txt")
    runs = [base + ".run1", base + ".run2"]
    with open(data) as handle:
        names = [line[1:].strip() for line in handle if line.startswith(">") and "SS_cons" not in line]
    outgroup, everyone = names[0], frozenset(names)

    tree_lists = [dendropy.TreeList.get(path=run + ".t", schema="nexus", preserve_underscores=True)
                  for run in runs]
    used = used_samples(tree_lists)
    counts = {}
    for run, index in used:
        for clade in clades(tree_lists[run][index], outgroup, everyone):
            counts[clade] = counts.get(clade, 0) + 1

    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out.fa")
        result = subprocess.run(
            [ribotrace, "--seed=2", "--loglik", f"--burnin={BURNIN}", f"--trees={TREES}",
             f"--min-clade={MIN_CLADE}", data, ",".join(run + ".t" for run in runs),
             ",".join(run + ".p" for run in runs), out, "1", "1.0", "2", "0", "0"],
            capture_output=True, text=True, stdin=subprocess.DEVNULL)
        if result.returncode != 0:
            print(f"FAILED: ribotrace exited {result.returncode}\n{result.stdout}{result.stderr}")
            return 1
        with open(out + ".clades") as handle:
            rows = [line.rstrip("\n").split("\t") for line in handle][1:]

    failures = []
    listed = {frozenset(row[3].split(",")): float(row[1]) for row in rows}
    for clade, count in counts.items():
        share = count / len(used)
        if share >= MIN_CLADE and abs(listed.get(clade, -1.0) - share) > 1e-6:
            failures.append(f"clade {sorted(clade)}: dendropy {share}, ribotrace {listed.get(clade)}")
    for clade, share in listed.items():
        if abs(counts.get(clade, 0) / len(used) - share) > 1e-6:
            failures.append(f"listed clade {sorted(clade)} ({share}) is in {counts.get(clade, 0)} trees")

    lnl = [lnl_by_generation(run + ".p") for run in runs]
    printed = re.findall(r"^Sample (\d+) of (\d+) \(run (\d+), gen (\d+)\): log-likelihood (\S+),",
                         result.stdout, re.MULTILINE)
    if len(printed) != len(used):
        failures.append(f"{len(printed)} log-likelihood lines for {len(used)} used samples")
    largest = 0.0
    for (number, _, run, gen, value), (want_run, index) in zip(printed, used):
        want_gen = int(tree_lists[want_run][index].label.split(".")[1])
        if (int(run) - 1, int(gen)) != (want_run, want_gen):
            failures.append(f"sample {number} is run {run} gen {gen}, expected run "
                            f"{want_run + 1} gen {want_gen}")
            continue
        largest = max(largest, abs(float(value) - lnl[want_run][want_gen]))
    if largest > 0.01:
        failures.append(f"a log-likelihood differs from MrBayes's LnL by {largest}")

    if failures:
        print("FAILED:\n" + "\n".join(failures))
        return 1
    print(f"{len(listed)} clades over {len(used)} samples match dendropy's count; "
          f"largest log-likelihood difference {largest:.6f}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
