#!/usr/bin/env python3
"""The Snakemake workflow with the real snakemake and mb:
workflow_test.py families|convergence|slurm PAIRNEX RIBOTRACE
(exit status 77, skipped, when snakemake is not installed).

data/converged.* come from the first 8 taxa of examples/snr75.txt, pairnex
--mrbayes=3.2 --ngen=1500000 --samplefreq=500 --nruns=2 --nchains=1, mb with
seed=1 swapseed=1; converged.mb.log holds the lines MrBayes printed for it.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPOSITORY = os.path.dirname(os.path.dirname(HERE))
WORKFLOW = os.path.join(REPOSITORY, "workflow")
SHORT_CHAIN = ["ngen=2000", "samplefreq=20", "nruns=2", "nchains=2", "samples=5"]


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, stdin=subprocess.DEVNULL)


def snakemake(cwd, profile, programs, *extra):
    return run(["snakemake", "-s", os.path.join(WORKFLOW, "Snakefile"),
                "--profile", os.path.join(WORKFLOW, "profiles", profile), *extra,
                "--config", "alignments=in", "results=out", *programs, *SHORT_CHAIN], cwd)


def write_snr75_8(path):
    """The first 8 taxa of examples/snr75.txt: a small family without stems."""
    with open(os.path.join(REPOSITORY, "examples", "snr75.txt")) as source, open(path, "w") as out:
        out.writelines(source.readlines()[:18])


AWKWARD = "snr75_8_touch_PWNED"


def write_inputs(folder):
    """plant_srp10 (10 taxa, stems), snr75_8 under a name no shell or MrBayes
    takes as it is (family snr75_8_touch_PWNED), and a broken file."""
    os.makedirs(folder)
    shutil.copy(os.path.join(REPOSITORY, "examples", "plant_srp10.txt"), folder)
    write_snr75_8(os.path.join(folder, "snr75_8 $(touch PWNED).TXT"))
    with open(os.path.join(folder, "broken.txt"), "w") as out:
        # pairnex writes it (with a warning); MrBayes stops at the X.
        out.write(">SS_cons\n((-))\n>a\nGGXCC\n>b\nGGACC\n>c\nGGAUC\n")


def screen_figures(text):
    """(min ESS, max PSRF, ASDSF) from what MrBayes printed on screen: the
    sump table (min ESS and PSRF columns) and sumt's closing line."""
    lines = text.splitlines()
    start = next(i for i, line in enumerate(lines) if "min ESS*" in line) + 2
    rows = []
    for line in lines[start:]:
        if line.strip().startswith("---"):
            break
        rows.append(line.split())
    asdsf = next(line for line in lines if "standard deviation of split frequencies =" in line)
    return (min(float(row[-3]) for row in rows), max(float(row[-1]) for row in rows),
            float(asdsf.split("=")[1]))


def expect_figures(verdict, printed, label):
    """Our figures carry more digits than the screen: equal up to its rounding."""
    for name, ours, theirs, rounding in zip(("min ESS", "max PSRF", "ASDSF"), verdict, printed,
                                            (0.005, 0.0005, 0.0000005)):
        expect(abs(float(ours) - theirs) <= rounding * 1.001,
               f"{label}: {name} {ours}, MrBayes printed {theirs}")


def read_rows(path):
    with open(path) as handle:
        header, *rows = [line.rstrip("\n").split("\t") for line in handle]
    return {row[0]: dict(zip(header, row)) for row in rows}


def job_blocks(dry_run_output):
    """The text of every job a dry run lists, from its "rule" line to the next job."""
    return [block for block in re.split(r"\n(?=(?:local)?rule \w+:)", dry_run_output)
            if re.match(r"(local)?rule \w+:", block)]


def planned_jobs(dry_run_output):
    """(rule, family) of every job a dry run lists."""
    jobs = set()
    for block in job_blocks(dry_run_output):
        family = re.search(r"wildcards: family=(\S+)", block)
        jobs.add((block.split()[1].rstrip(":"), family.group(1) if family else None))
    return jobs


def test_families(work, programs):
    write_inputs(os.path.join(work, "in"))
    result = snakemake(work, "local", programs)
    expect(result.returncode != 0, "the broken family must make snakemake report a failure")
    output = os.path.join(work, "out")
    rows = read_rows(os.path.join(output, "summary.tsv"))
    expect(sorted(rows) == ["broken", "plant_srp10", AWKWARD], f"summary rows: {sorted(rows)}")
    expect(not os.path.exists(os.path.join(work, "PWNED")), "a file name ran as a command")

    for family, size in (("plant_srp10", ("10", "367", "123")), (AWKWARD, ("8", "135", "0"))):
        row = rows[family]
        folder = os.path.join(output, family)
        for name in (".nex.con.tre", ".nex.run1.t", ".nex.run2.p", ".nex.tstat", "_samples.fa.par"):
            expect(os.path.isfile(os.path.join(folder, family + name)), f"{family}{name} missing")
        # By default ribotrace integrates over the runs' samples: rows per clade.
        with open(os.path.join(folder, family + "_samples.fa.clades")) as clades:
            n_clades = len(clades.read().splitlines()) - 1
        with open(os.path.join(folder, family + "_samples.fa")) as samples:
            expect(n_clades >= 1 and samples.read().count(">clade_") == 5 * n_clades,
                   f"{family}: 5 samples per clade of {n_clades}")
        chain = (row["taxa"], row["columns"], row["stems"], row["ngen"], row["nruns"])
        expect(chain == (*size, "2000", "2"), f"{family}: {row}")
        float(row["lnL"])
        with open(os.path.join(folder, "logs", "mrbayes.log")) as log:
            expect_figures((row["min_ESS"], row["max_PSRF"], row["ASDSF"]),
                           screen_figures(log.read()), family)
        # 2,000 generations are far too few: MrBayes's ESS stays below 100.
        expect(row["status"] == "warn" and "min ESS" in row["message"], f"{family}: {row}")
        expect(row["results"] == f"{family}/{family}_samples.fa.html", f"{family}: {row['results']}")

    broken = rows["broken"]
    expect(broken["status"] == "fail" and broken["taxa"] == "3" and
           broken["message"].startswith("mrbayes: Unrecognized DNA/RNA character 'X' / Error"),
           f"broken: {broken}")
    with open(os.path.join(output, "index.html")) as index:
        page = index.read()
    for link in ('href="plant_srp10/plant_srp10_samples.fa.html"', 'href="broken/logs/mrbayes.log"'):
        expect(link in page, f"index.html lacks {link}")

    os.remove(os.path.join(work, "in", "broken.txt"))
    shutil.rmtree(os.path.join(output, "plant_srp10"))
    dry = snakemake(work, "local", programs, "-n")
    expect(dry.returncode == 0, dry.stdout)
    jobs = planned_jobs(dry.stdout)
    expected = {(step, "plant_srp10") for step in ("pairnex", "mrbayes", "convergence",
                                                   "ribotrace")}
    expect(jobs == expected | {("all", None)}, f"dry run plans {sorted(jobs, key=str)}")


def test_ml(work, programs):
    """route: ml with the real pairnex --fasta, iqtree2 and ribotrace --fit."""
    if not shutil.which("iqtree2"):
        print("iqtree2 is not installed (scripts/install-deps.sh installs it): skipped")
        raise SystemExit(77)
    folder = os.path.join(work, "in")
    os.makedirs(folder)
    shutil.copy(os.path.join(REPOSITORY, "examples", "plant_srp10.txt"), folder)
    write_snr75_8(os.path.join(folder, "snr75_8.txt"))
    result = snakemake(work, "local", programs + ["route=ml"])
    expect(result.returncode == 0, result.stdout)
    rows = read_rows(os.path.join(work, "out", "summary.tsv"))
    expect(sorted(rows) == ["plant_srp10", "snr75_8"], f"summary rows: {sorted(rows)}")
    for family, row in rows.items():
        expect(row["status"] == "pass", f"{family}: {row}")
        float(row["lnL"])
        stem = os.path.join(work, "out", family, family + "_samples.fa")
        for name in (".fit.pstat", ".fit.tre", ".par", ".html"):
            expect(os.path.isfile(stem + name), f"{family}: {name} missing")
        expect(not os.path.exists(os.path.join(work, "out", family, family + ".nex")),
               f"{family}: route ml ran MrBayes's steps")


def convergence_check(work, pstat, tstat):
    script = os.path.join(WORKFLOW, "scripts", "convergence.py")
    result = run([sys.executable, script, pstat, tstat], work)
    expect(result.returncode == 0, result.stdout)
    return result.stdout.splitlines()[1].split("\t")


def test_convergence(work, programs):
    pairnex = programs[0].split("=", 1)[1]
    data = os.path.join(work, "short.txt")
    write_snr75_8(data)
    made = run([pairnex, "--mrbayes=3.2", "--ngen=200", "--samplefreq=10", "--nruns=2",
                "--nchains=2", data, "short.nex"], work)
    expect(made.returncode == 0, made.stdout)
    with open(os.path.join(work, "seeded.nex"), "w") as out:
        out.write("#NEXUS\nbegin mrbayes;\n\tset seed=1 swapseed=1;\n\texecute short.nex;\nend;\n")
    mb = run(["mb", "seeded.nex"], work)
    expect(mb.returncode == 0, mb.stdout[-2000:])
    short = convergence_check(work, "short.nex.pstat", "short.nex.tstat")
    expect_figures(short[:3], screen_figures(mb.stdout), "short chain")
    expect(short[3] == "warn" and "min ESS" in short[4], f"short chain: {short}")

    stored = os.path.join(HERE, "data", "converged")
    long = convergence_check(work, stored + ".nex.pstat", stored + ".nex.tstat")
    with open(stored + ".mb.log") as log:
        expect_figures(long[:3], screen_figures(log.read()), "long chain")
    expect(long[3:] == ["pass", ""], f"long chain: {long}")

    # MrBayes glues an NA to a value that fills its column: two values.
    with open(stored + ".nex.pstat") as source:
        lines = source.read().splitlines()
    cells = lines[2].split("\t")
    lines[2] = "\t".join(cells[:-2] + [cells[-2] + "NA"])
    glued = os.path.join(work, "glued.pstat")
    with open(glued, "w") as out:
        out.write("\n".join(lines) + "\n")
    expect(convergence_check(work, glued, stored + ".nex.tstat")[3] == "pass", "glued NA")


def test_slurm(work, programs):
    """Serial MrBayes with the consensus tree; MPI MrBayes with the runs' samples (the default)."""
    write_inputs(os.path.join(work, "in"))
    serial = (["mrbayes=mb", "ribotrace_input=summary"], "mb run_mrbayes.nex", "mem_mb=2000",
              ".nex.con.tre")
    mpi = (['mrbayes=MPI_OPTIONS="-np {procs}" mb-mpi'],
           'MPI_OPTIONS="-np 4" mb-mpi run_mrbayes.nex', "tasks=4", ".nex.run1.t,out/")
    for settings, shell, resources, trees in (serial, mpi):
        dry = snakemake(work, "slurm", programs + settings, "-n")
        expect(dry.returncode == 0, dry.stdout)
        expect(len(planned_jobs(dry.stdout)) == 13, dry.stdout)
        blocks = job_blocks(dry.stdout)
        mb_jobs = [block for block in blocks if "rule mrbayes:" in block]
        expect(len(mb_jobs) == 3 and all(shell in job and "runtime=1440" in job and resources in job
                                         for job in mb_jobs), "\n\n".join(mb_jobs))
        ribotrace_jobs = [block for block in blocks if "rule ribotrace:" in block]
        expect(len(ribotrace_jobs) == 3 and all("mem_mb=4000" in job and trees in job
                                                for job in ribotrace_jobs), "\n\n".join(ribotrace_jobs))


def main(argv):
    part, pairnex, ribotrace = argv
    if part != "convergence" and not shutil.which("snakemake"):
        print("snakemake is not installed (scripts/install-deps.sh installs it): skipped")
        return 77
    programs = [f"pairnex={os.path.abspath(pairnex)}", f"ribotrace={os.path.abspath(ribotrace)}"]
    with tempfile.TemporaryDirectory() as work:
        try:
            globals()["test_" + part](work, programs)
        except AssertionError as failure:
            print(f"FAILED: {failure}")
            return 1
    print(f"{part}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
