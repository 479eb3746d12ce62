#!/usr/bin/env python3
"""How the sampled ancestors of a ribotrace run carry their gaps.

    bench/gap_shares.py out_file

out_file is a ribotrace results file written with include_data 1, its
out_file.tree beside it. Prints, for the data and for the sampled ancestral
rows (anc_<n>_<k>), the share of stem-pair cells gapped on one side only,
and for the sampled rows the share of gaps among the cells whose node has
no gap at that column (nor at its stem partner) in any descendant taxon.
"""
import sys


def read_blocks(path):
    blocks, name = [], None
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith(">"):
                name = line[1:]
            else:
                blocks.append((name, line))
    return blocks


def descendants(newick):
    """Taxa below every interior node label of a Newick tree."""
    pos, below = 0, {}

    def name():
        nonlocal pos
        if newick[pos] == "'":
            end = newick.index("'", pos + 1)
            while newick.startswith("''", end):
                end = newick.index("'", end + 2)
            text, pos = newick[pos + 1:end].replace("''", "'"), end + 1
        else:
            start = pos
            while newick[pos] not in ":,();":
                pos += 1
            text = newick[start:pos]
        if newick[pos] == ":":
            while newick[pos] not in ",();":
                pos += 1
        return text

    def clade():
        nonlocal pos
        if newick[pos] != "(":
            return {name()}
        pos += 1
        taxa = set(clade())  # a copy: the child keeps its own set
        while newick[pos] == ",":
            pos += 1
            taxa |= clade()
        pos += 1  # ')'
        below[name()] = taxa
        return taxa

    clade()
    return below


def stem_pairs(structure):
    stack, pairs = [], []
    for c, s in enumerate(structure):
        if s == "(":
            stack.append(c)
        elif s == ")":
            pairs.append((stack.pop(), c))
    return pairs


def one_sided(rows, pairs):
    cells = len(rows) * len(pairs)
    hits = sum((r[i] == "-") != (r[j] == "-") for r in rows for i, j in pairs)
    return hits / cells if cells else 0.0


def main(out_file):
    blocks = read_blocks(out_file)
    structure = blocks[0][1]
    pairs = stem_pairs(structure)
    below = descendants(open(out_file + ".tree").read().strip())
    taxa = {n: s for n, s in blocks[1:] if not n.startswith(("anc_", "psr_"))}
    samples = [(n.rsplit("_", 1)[0], s) for n, s in blocks if n.startswith("anc_")]
    hidden = [s for n, s in blocks if n.startswith("psr_")]
    print(f"one-sided stem gaps: data {one_sided(list(taxa.values()), pairs):.2%}, "
          f"sampled ancestors {one_sided([s for _, s in samples], pairs):.2%}, "
          f"hidden rows {one_sided(hidden, pairs):.2%}")
    # A stem column counts where both columns of its pair are ungapped:
    # under --gaps=tree a pair is present only where both sides are.
    partner = {c: c for c in range(len(structure))}
    for i, j in pairs:
        partner[i], partner[j] = j, i
    ungapped = {}
    for node, taxa_below in below.items():
        ungapped[node] = [c for c in range(len(structure))
                          if all(taxa[t][c] != "-" and taxa[t][partner[c]] != "-"
                                 for t in taxa_below)]
    cells = gaps = 0
    for node, row in samples:
        columns = ungapped[node]
        cells += len(columns)
        gaps += sum(row[c] == "-" for c in columns)
    print(f"gaps where every descendant taxon is ungapped: {gaps / cells:.2%} of {cells} cells")


if __name__ == "__main__":
    main(sys.argv[1])
