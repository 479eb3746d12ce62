#!/usr/bin/env python3
"""How well calibrated ribotrace's probabilities are, on data simulated by
bench/simulate (whose truth it knows).

    python3 bench/calibrate.py [--bins=N] [--tables] SIM_FOLDER OUT_FILE

SIM_FOLDER is simulate's output folder; OUT_FILE the out_file of a
ribotrace run on SIM_FOLDER/data.txt. Nodes are matched to the truth
through OUT_FILE.tree (and OUT_FILE.clades) by the taxa on each side of
them, so any rooting works. Reports what the files present allow:
  - states: OUT_FILE.state (p_A..p_U) and OUT_FILE.pairs (p_AA..p_UU), on
    cells whose node truly has the character: ECE of the most probable
    state's probability (top-label) and of every probability, Brier score;
  - gaps: p_gap of OUT_FILE.state against true absence, over all cells and
    over informative columns (gapped in some taxa, not all), on uncertain
    cells (0.02 < p_gap < 0.98), on cells with p_gap in (0.1, 0.5), and at
    nodes that hold the character in taxa on two of their sides;
  - changes: OUT_FILE.changes (p_cbc, p_hemi, p_break, p_restore, E_subs,
    p_present) against the true events on each branch, OUT_FILE.branches'
    E_subs_loops against the true loop changes;
  - fit: OUT_FILE.fit.pstat beside the true parameters, OUT_FILE.par's
    insertion_rate and deletion_rate beside the true lambda and mu.
--tables prints the bin table of every ECE.
"""
import os
import sys

from calib_lib import CANONICAL, DOUBLETS, NUCLEOTIDES, Calibration, Results, Truth, read_pairs, read_tsv

UNCERTAIN = (0.02, 0.98)


def report(name, cal, show_table, extra=""):
    print("%-44s n=%-8d ECE=%.4f  Brier=%.5f  mean p=%.4f  observed=%.4f%s" % (
        name, cal.n, cal.ece(), cal.brier / cal.n if cal.n else float("nan"),
        cal.mean_p(), cal.mean_y(), extra))
    if show_table and cal.n:
        print(cal.table())


class Matcher:
    """The true node behind each of ribotrace's node names."""

    def __init__(self, truth, results):
        self.truth, self.results = truth, results
        self.vertex = {name: truth.vertex(c) for name, c in results.cluster.items()}
        unmatched = sorted(n for n, v in self.vertex.items() if v is None and n != results.root)
        if unmatched:
            print("nodes without a true counterpart (skipped): %d, e.g. %s" % (len(unmatched), unmatched[0]))

    def true_state(self, node, char):
        v = self.vertex.get(node)
        return None if v is None else self.truth.state[(v, char["Char"])]


def nucleotide_at(char, site, state):
    if char["Type"] != "stem":
        return state
    return state[0] if int(char["Site5"]) == site else state[1]


def score_states(truth, matcher, out_file, bins, show):
    """State posteriors on cells that truly hold the character."""
    for table, classes in ((".state", NUCLEOTIDES), (".pairs", DOUBLETS)):
        if not os.path.exists(out_file + table):
            continue
        top, every, cells = Calibration(bins), Calibration(bins), 0
        for row in read_tsv(out_file + table):
            site = int(row.get("Site") or row["Site5"])
            char = truth.char_of_column[site]
            state = matcher.true_state(row["Node"], char)
            if state is None or state == "-":
                continue
            truth_class = state if table == ".pairs" else nucleotide_at(char, site, state)
            probs = [float(row["p_" + k]) for k in classes]
            best = max(range(len(classes)), key=probs.__getitem__)
            top.add(probs[best], classes[best] == truth_class)
            for k, p in zip(classes, probs):
                every.add(p, k == truth_class)
            cells += 1
        kind = "doublet" if table == ".pairs" else "nucleotide"
        report("%s %s: most probable state" % (table, kind), top, show)
        print("%-44s n=%-8d ECE=%.4f  Brier=%.5f (per cell, summed over states)" % (
            "%s %s: every probability" % (table, kind), every.n, every.ece(), every.brier / max(cells, 1)))
        if show and every.n:
            print(every.table())


def holders(data_file):
    """Per column (from 1): the taxa that hold its character (both columns
    of a stem pair); and which columns are informative."""
    with open(data_file) as f:
        lines = [l.rstrip("\n") for l in f]
    structure, rows = lines[1], {lines[i][1:]: lines[i + 1] for i in range(2, len(lines) - 1, 2)}
    partner, stack = {}, []
    for i, s in enumerate(structure):
        if s == "(":
            stack.append(i)
        elif s == ")":
            j = stack.pop()
            partner[i], partner[j] = j, i
    held = {}
    for col in range(len(structure)):
        cols = (col, partner[col]) if col in partner else (col,)
        held[col + 1] = frozenset(t for t, seq in rows.items() if all(seq[c] != "-" for c in cols))
    informative = {c for c, h in held.items() if 0 < len(h) < len(rows)}
    return held, informative


def score_gaps(truth, matcher, results, sim_folder, out_file, bins, show):
    rows = [r for r in read_tsv(out_file + ".state") if "p_gap" in r] if os.path.exists(out_file + ".state") else []
    if not rows:
        print("gaps: no p_gap column in %s.state (run with --gaps=...)" % out_file)
        return
    held, informative = holders(os.path.join(sim_folder, "data.txt"))
    cal = {k: Calibration(bins) for k in ("all", "informative", "uncertain")}
    mid, two_sided = [0, 0], {"cells": 0, "above 0": 0, "above 0.1": 0, "max": 0.0, "truly absent": 0}
    for row in rows:
        site = int(row["Site"])
        state = matcher.true_state(row["Node"], truth.char_of_column[site])
        if state is None:
            continue
        p, absent = float(row["p_gap"]), state == "-"
        cal["all"].add(p, absent)
        if site in informative:
            cal["informative"].add(p, absent)
        if UNCERTAIN[0] < p < UNCERTAIN[1]:
            cal["uncertain"].add(p, absent)
        if 0.1 < p < 0.5:
            mid[0] += 1
            mid[1] += absent
        if sum(1 for side in results.sides.get(row["Node"], []) if side & held[site]) >= 2:
            two_sided["cells"] += 1
            two_sided["above 0"] += p > 0
            two_sided["above 0.1"] += p > 0.1
            two_sided["max"] = max(two_sided["max"], p)
            two_sided["truly absent"] += absent
    report("p_gap: all cells", cal["all"], show)
    report("p_gap: informative columns", cal["informative"], show)
    u = cal["uncertain"]
    report("p_gap: uncertain cells (%.2f < p < %.2f)" % UNCERTAIN, u, show,
           "  (mean p - observed: %+.4f; %.2f%% of cells)" % (u.mean_p() - u.mean_y(), 100.0 * u.n / cal["all"].n))
    print("p_gap in (0.1, 0.5): %d cells, %d truly absent" % tuple(mid))
    print("nodes holding the character on two sides: %(cells)d cells, p_gap > 0 in %(above 0)d, "
          "> 0.1 in %(above 0.1)d, largest %(max).4g; truly absent: %(truly absent)d" % two_sided)


def score_changes(truth, matcher, results, out_file, bins, show):
    if not os.path.exists(out_file + ".changes"):
        return
    roots_agree = ({results.cluster[c] for c in results.root_children}
                   == {truth.cluster_of[c] for c in truth.children[truth.root]})
    events = {}
    for r in read_tsv(os.path.join(truth.folder, "truth_pair_branches.tsv")):
        events[(r["Branch"], r["Char"])] = r
    cal = {k: Calibration(bins) for k in ("p_cbc", "p_hemi", "p_break", "p_restore", "p_present")}
    e_subs, true_subs, skipped = 0.0, 0, 0
    for row in read_tsv(out_file + ".changes"):
        at_root = row["Branch"] in results.root_children
        edge = None if at_root and not roots_agree else truth.edge(results.cluster[row["Branch"]], at_root)
        if edge is None:
            skipped += 1
            continue
        char = truth.char_of_column[int(row["Site5"])]["Char"]
        up, down, spans = edge
        parent, child = truth.state[(up, char)], truth.state[(down, char)]
        if "p_present" in row and parent != "-":
            cal["p_present"].add(float(row["p_present"]), child != "-")
        if parent == "-" or child == "-":
            continue
        happened = {
            "p_cbc": parent in CANONICAL and child in CANONICAL and parent[0] != child[0] and parent[1] != child[1],
            "p_hemi": parent in CANONICAL and child in CANONICAL and (parent[0] != child[0]) != (parent[1] != child[1]),
            "p_break": parent in CANONICAL and child not in CANONICAL,
            "p_restore": parent not in CANONICAL and child in CANONICAL,
        }
        for name, y in happened.items():
            cal[name].add(float(row[name]), y)
        e_subs += float(row["E_subs"])
        true_subs += sum(int(events[(b, char)]["Subs"]) for b in spans if (b, char) in events)
    if skipped:
        print("changes: %d rows on branches the truth does not have (skipped)" % skipped)
    for name, c in cal.items():
        if c.n:
            report("changes: " + name, c, show)
    if true_subs:
        print("changes: summed E_subs %.1f, true substitutions %d (relative error %+.2f%%)" % (
            e_subs, true_subs, 100.0 * (e_subs - true_subs) / true_subs))


def pstat_means(path):
    """Parameter -> mean, the exchangeabilities of each partition scaled to
    sum 1 (only their ratios matter, and MrBayes prints them so)."""
    means = {r["Parameter"].lower(): float(r["Mean"]) for r in pstat_rows(path)}
    for tag in ("", "{1}", "{2}"):
        rates = [k for k in means if k.startswith("r(") and k.endswith(")" + tag)]
        total = sum(means[k] for k in rates)
        for k in rates:
            means[k] /= total
    return means


def score_fit(truth, out_file):
    if os.path.exists(out_file + ".fit.pstat"):
        true_rows = pstat_means(os.path.join(truth.folder, "params.pstat"))
        print("%-16s %12s %12s %9s" % ("parameter", "true", "fitted", "rel.err"))
        for name, fitted in pstat_means(out_file + ".fit.pstat").items():
            true = true_rows.get(name)
            if true is None:
                print("%-16s %12s %12.5g" % (name, "-", fitted))
            else:
                print("%-16s %12.5g %12.5g %+8.2f%%" % (name, true, fitted, 100.0 * (fitted - true) / true))
    if os.path.exists(out_file + ".par"):
        par = read_pairs(out_file + ".par")
        for key, true_key in (("insertion_rate", "insertion_rate"), ("deletion_rate", "deletion_rate")):
            if key in par and truth.indel.get(true_key):
                fitted, true = float(par[key]), truth.indel[true_key]
                print("%-16s %12.5g %12.5g %+8.2f%%" % (key, true, fitted, 100.0 * (fitted - true) / true))


def pstat_rows(path):
    with open(path) as f:
        lines = [l for l in f if l.strip() and not l.startswith("[")]
    header = lines[0].split()
    return [dict(zip(header, l.split())) for l in lines[1:]]


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    bins = next((int(a.split("=")[1]) for a in argv if a.startswith("--bins=")), 10)
    show = "--tables" in argv
    if len(args) != 2:
        sys.exit(__doc__)
    sim_folder, out_file = args
    truth, results = Truth(sim_folder), Results(out_file)
    matcher = Matcher(truth, results)
    score_states(truth, matcher, out_file, bins, show)
    score_gaps(truth, matcher, results, sim_folder, out_file, bins, show)
    score_changes(truth, matcher, results, out_file, bins, show)
    score_fit(truth, out_file)


if __name__ == "__main__":
    main(sys.argv[1:])
