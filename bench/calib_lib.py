"""Reading a simulation's truth and ribotrace's results, matching their
nodes, and the calibration measures. Used by bench/calibrate.py."""
import os

NUCLEOTIDES = "ACGU"
DOUBLETS = [a + b for a in NUCLEOTIDES for b in NUCLEOTIDES]
CANONICAL = {"AU", "UA", "GC", "CG", "GU", "UG"}


def read_tsv(path):
    """Rows of a tab-separated table with a header line, as dicts."""
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        return [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f if line.strip()]


def read_pairs(path):
    """A two-column 'name<TAB>value' file (ribotrace's .par) as a dict."""
    out = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2:
                out[parts[0]] = parts[1]
    return out


def parse_newick(text):
    """Nodes of a Newick tree as dicts (name, parent, children, length),
    root first; [comments] are dropped, quoted names unquoted."""
    nodes, pos = [], 0

    def skip():
        nonlocal pos
        while pos < len(text) and (text[pos].isspace() or text[pos] == "["):
            pos = text.index("]", pos) + 1 if text[pos] == "[" else pos + 1

    def label():
        nonlocal pos
        skip()
        if pos < len(text) and text[pos] == "'":
            out = []
            pos += 1
            while not (text[pos] == "'" and not text.startswith("''", pos)):
                out.append(text[pos])
                pos += 2 if text.startswith("''", pos) else 1
            pos += 1
            return "".join(out)
        start = pos
        while pos < len(text) and text[pos] not in ":,();[":
            pos += 1
        return text[start:pos].strip()

    def clade(parent):
        nonlocal pos
        node = {"name": "", "parent": parent, "children": [], "length": 0.0}
        index = len(nodes)
        nodes.append(node)
        skip()
        if text[pos] == "(":
            pos += 1
            while True:
                node["children"].append(clade(index))
                skip()
                pos += 1
                if text[pos - 1] == ")":
                    break
        node["name"] = label()
        skip()
        if pos < len(text) and text[pos] == ":":
            pos += 1
            start = pos
            while text[pos] not in ",();[":
                pos += 1
            node["length"] = float(text[start:pos])
        return index

    clade(None)
    return nodes


def clusters(nodes):
    """The frozenset of tip names below every node (index-aligned)."""
    below = [None] * len(nodes)
    for i in reversed(range(len(nodes))):
        if nodes[i]["children"]:
            below[i] = frozenset().union(*(below[c] for c in nodes[i]["children"]))
        else:
            below[i] = frozenset([nodes[i]["name"]])
    return below


class Truth:
    """A simulation folder's true tree, characters and histories."""

    def __init__(self, folder):
        self.folder = folder
        rows = read_tsv(os.path.join(folder, "truth_tree.tsv"))
        self.parent = {r["Node"]: (None if r["Parent"] == "-" else r["Parent"]) for r in rows}
        self.children = {r["Node"]: [] for r in rows}
        for node, parent in self.parent.items():
            if parent is not None:
                self.children[parent].append(node)
        self.root = next(n for n, p in self.parent.items() if p is None)
        self.cluster_of = {r["Node"]: frozenset(r["Taxa"].split(",")) for r in rows}
        self.below = {c: n for n, c in self.cluster_of.items()}
        self.taxa = frozenset(t for r in rows for t in r["Taxa"].split(","))
        self.characters = read_tsv(os.path.join(folder, "truth_characters.tsv"))
        self.char_of_column = {}
        for c in self.characters:
            for side in ("Site5", "Site3"):
                if c[side] != "-":
                    self.char_of_column[int(c[side])] = c
        self.state = {}
        for r in read_tsv(os.path.join(folder, "truth_nodes.tsv")):
            self.state[(r["Node"], r["Char"])] = r["State"]
        self.indel = {r["Parameter"]: float(r["Value"]) for r in read_tsv(os.path.join(folder, "truth_indel.tsv"))}

    def vertex(self, cluster):
        """The true node at the `cluster` side of the branch that splits the
        taxa into `cluster` and the rest: the same node whatever the root."""
        if cluster in self.below:
            return self.below[cluster]
        other = self.below.get(self.taxa - cluster)
        return None if other is None else self.parent[other]

    def edge(self, cluster, at_root):
        """(parent node, child node, [branches whose changes add up]) of the
        true branch whose child side holds `cluster`, in that direction; at_root:
        the branch hangs from the results' root, which is taken to be the true
        one. None when the truth has no such branch."""
        node = self.below.get(cluster)
        if node is not None:
            up = self.parent[node]
            if up == self.root and len(self.children[up]) == 2 and not at_root:
                sibling = next(c for c in self.children[up] if c != node)
                return sibling, node, [node, sibling]
            return up, node, [node]
        other = self.below.get(self.taxa - cluster)
        if other is None or at_root:
            return None
        return other, self.parent[other], [other]


class Results:
    """ribotrace's named tree (out_file.tree) with every node's taxa, and the
    clade list of a run over a posterior sample (out_file.clades)."""

    def __init__(self, out_file):
        with open(out_file + ".tree") as f:
            self.nodes = parse_newick(f.read())
        below = clusters(self.nodes)
        self.cluster = {n["name"]: below[i] for i, n in enumerate(self.nodes) if n["name"]}
        self.root = self.nodes[0]["name"]
        self.root_children = {self.nodes[c]["name"] for c in self.nodes[0]["children"]}
        if os.path.exists(out_file + ".clades"):
            for r in read_tsv(out_file + ".clades"):
                self.cluster.setdefault(r["Clade"], frozenset(r["Members"].split(",")))
        self.sides = {}
        for i, n in enumerate(self.nodes):
            if n["children"] and n["name"]:
                all_taxa = below[0]
                self.sides[n["name"]] = [below[c] for c in n["children"]] + (
                    [all_taxa - below[i]] if i > 0 else [])


class Calibration:
    """Predicted probabilities against 0/1 outcomes: ECE over equal-width
    bins (weighted by count), Brier score, the bin table."""

    def __init__(self, bins=10):
        self.bins = bins
        self.count = [0] * bins
        self.p_sum = [0.0] * bins
        self.y_sum = [0.0] * bins
        self.brier = 0.0
        self.n = 0

    def add(self, p, y):
        b = min(int(p * self.bins), self.bins - 1)
        self.count[b] += 1
        self.p_sum[b] += p
        self.y_sum[b] += y
        self.brier += (p - y) ** 2
        self.n += 1

    def ece(self):
        if not self.n:
            return float("nan")
        return sum(abs(self.p_sum[b] - self.y_sum[b]) for b in range(self.bins)) / self.n

    def mean_p(self):
        return sum(self.p_sum) / self.n if self.n else float("nan")

    def mean_y(self):
        return sum(self.y_sum) / self.n if self.n else float("nan")

    def table(self):
        lines = ["      bin        count    mean p   observed"]
        for b in range(self.bins):
            if self.count[b]:
                lines.append("  [%.2f, %.2f)  %8d  %8.4f  %8.4f" % (
                    b / self.bins, (b + 1) / self.bins, self.count[b],
                    self.p_sum[b] / self.count[b], self.y_sum[b] / self.count[b]))
        return "\n".join(lines)
