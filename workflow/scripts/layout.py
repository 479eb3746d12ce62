"""Where the workflow puts each family's files, in one place for the
Snakefile and the summary writer. Every function also accepts the pattern
"{family}", which gives Snakemake its wildcard paths."""

import os

# The steps of one family on each route, in the order they run: MrBayes's
# Bayesian analysis, or IQ-TREE's tree and ribotrace's own fit (route ml).
ROUTE_STEPS = {
    "mrbayes": ("pairnex", "mrbayes", "convergence", "ribotrace"),
    "ml": ("fasta", "iqtree", "ribotrace"),
}
STEPS = ROUTE_STEPS["mrbayes"]


def family_dir(results, family):
    return os.path.join(results, family)


def nexus(results, family):
    """pairnex's NEXUS file; MrBayes names its own files after it."""
    return os.path.join(results, family, family + ".nex")


def mrbayes_file(results, family, suffix):
    return nexus(results, family) + suffix


def run_files(results, family, nruns, kind):
    """The sampled trees (kind "t") or parameters ("p") of every run: MrBayes
    numbers them only when there are several runs."""
    if nruns == 1:
        return [mrbayes_file(results, family, "." + kind)]
    return [mrbayes_file(results, family, f".run{run}.{kind}") for run in range(1, nruns + 1)]


def fasta(results, family):
    """pairnex's FASTA copy of the alignment, the names as MrBayes reads them, for IQ-TREE."""
    return os.path.join(results, family, family + ".fa")


def iqtree_prefix(results, family):
    return os.path.join(results, family, family + ".iqtree")


def treefile(results, family):
    return iqtree_prefix(results, family) + ".treefile"


def convergence(results, family):
    return os.path.join(results, family, "convergence.tsv")


def samples(results, family):
    """ribotrace's results file; its summary is this name plus ".par"."""
    return os.path.join(results, family, family + "_samples.fa")


def report(results, family):
    return samples(results, family) + ".html"


def log(results, family, step):
    return os.path.join(results, family, "logs", step + ".log")


def proof(results, family, step):
    """The file whose presence shows that `step` finished: Snakemake removes
    the outputs of a job that fails."""
    return {
        "fasta": fasta(results, family),
        "iqtree": treefile(results, family),
        "pairnex": nexus(results, family),
        "mrbayes": mrbayes_file(results, family, ".pstat"),
        "convergence": convergence(results, family),
        "ribotrace": samples(results, family),
    }[step]
