#!/usr/bin/env python3
"""Writes <results>/summary.tsv and <results>/index.html: one row per family
with its size, chain, convergence figures, log-likelihood and verdict, and,
for a family that failed, the step and the message it stopped with.

The workflow calls this when it ends, successfully or not; it can also be
run by hand: summarize.py RESULTS [FAMILY ...] (default: every family
folder under RESULTS).
"""

import html
import os
import re
import sys

import layout
from textio import write_atomically

COLUMNS = ("family", "status", "taxa", "columns", "stems", "ngen", "nruns", "min_ESS", "max_PSRF",
           "ASDSF", "lnL", "results", "message")

# pairnex and ribotrace print "Err: ..." ; MrBayes prints "Error ..." after the line
# that says what it could not read; Python prints "SomethingError: ...".
ERROR_LINE = re.compile(r"\bErr(or)?\b|Error:")


def read_text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            return handle.read()
    except OSError:
        return None


def failure_message(log_text):
    """The line of a step's log that says why it failed: its first error line,
    with the line just above it when MrBayes names the cause there; else the
    last line of the log."""
    lines = [line.strip() for line in log_text.splitlines()]
    for index, line in enumerate(lines):
        if ERROR_LINE.search(line):
            # "Err: " only marks the line as the program's error; the rest says it.
            line = re.sub(r"^Err: ", "", line)
            cause = lines[index - 1] if index > 0 else ""
            return f"{cause} / {line}" if cause and not ERROR_LINE.search(cause) else line
    # Not a rule of dashes or stars around a message box.
    last = [line for line in lines if re.search(r"[A-Za-z]", line)]
    return last[-1] if last else "the log is empty"


def nexus_figures(text):
    """Taxa, columns, stem pairs, generations and runs, as pairnex wrote them."""
    figures = {}
    for key, pattern in (("taxa", r"ntax=(\d+)"), ("columns", r"nchar=(\d+)"),
                         ("ngen", r"mcmc ngen=(\d+)"), ("nruns", r"\bnruns=(\d+)")):
        found = re.search(pattern, text)
        if found:
            figures[key] = found.group(1)
    pairs = re.search(r"^\s*pairs (.*);$", text, re.MULTILINE)
    figures["stems"] = str(pairs.group(1).count(":")) if pairs else "0"
    return figures


def read_convergence(path):
    text = read_text(path)
    lines = text.splitlines() if text else []
    if len(lines) != 2:
        return None
    return dict(zip(lines[0].split("\t"), lines[1].split("\t")))


def log_likelihood(log_text):
    found = re.search(r"^Log-likelihood: (\S+)", log_text or "", re.MULTILINE)
    return found.group(1) if found else "NA"


def relative(path, results):
    return os.path.relpath(path, results)


def family_row(results, family, route="mrbayes"):
    row = dict.fromkeys(COLUMNS, "NA")
    row.update(family=family, message="")
    nexus = read_text(layout.nexus(results, family))
    if nexus is not None:
        row.update(nexus_figures(nexus))

    failed_step = next((step for step in layout.ROUTE_STEPS[route]
                        if not os.path.exists(layout.proof(results, family, step))), None)
    verdict = read_convergence(layout.convergence(results, family))
    if verdict:
        row.update(min_ESS=verdict.get("min_ESS", "NA"), max_PSRF=verdict.get("max_PSRF", "NA"),
                   ASDSF=verdict.get("ASDSF", "NA"))
    row["lnL"] = log_likelihood(read_text(layout.log(results, family, "ribotrace")))

    if failed_step is None and route == "ml":
        # A maximum-likelihood fit has no chain whose convergence to check.
        row["status"] = "pass"
        row["message"] = "IQ-TREE's tree, ribotrace's maximum-likelihood fit"
        report = layout.report(results, family)
        shown = report if os.path.exists(report) else layout.samples(results, family)
    elif failed_step is None:
        row["status"] = verdict.get("flag", "NA") if verdict else "NA"
        row["message"] = verdict.get("notes", "") if verdict else ""
        report = layout.report(results, family)
        shown = report if os.path.exists(report) else layout.samples(results, family)
    else:
        log_path = layout.log(results, family, failed_step)
        log_text = read_text(log_path)
        if log_text is None:
            row["status"] = "not run"
            row["message"] = f"{failed_step}: not run yet"
            shown = layout.family_dir(results, family)
        else:
            row["status"] = "fail"
            row["message"] = f"{failed_step}: {failure_message(log_text)}"
            shown = log_path
    row["results"] = relative(shown, results)
    # One row per line, one value per tab: nothing from a log may break either.
    return {key: re.sub(r"\s+", " ", value) for key, value in row.items()}


def summary_tsv(rows):
    return "".join("\t".join(row[column] for column in COLUMNS) + "\n"
                   for row in [dict(zip(COLUMNS, COLUMNS)), *rows])


def index_html(rows):
    shown = [column for column in COLUMNS if column not in ("family", "results")]
    head = "".join(f"<th>{html.escape(column)}</th>" for column in shown)
    body = []
    for row in rows:
        link = html.escape(row["results"], quote=True)
        cells = "".join(f"<td>{html.escape(row[column])}</td>" for column in shown)
        body.append(f'<tr class="{html.escape(row["status"].replace(" ", "-"), quote=True)}">'
                    f'<td><a href="{link}">{html.escape(row["family"])}</a></td>{cells}</tr>')
    return f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Ancestral RNA sequences: {len(rows)} families</title>
<style>
body {{ font-family: sans-serif; margin: 2em; }}
table {{ border-collapse: collapse; }}
th, td {{ border: 1px solid #ccc; padding: 0.3em 0.6em; text-align: left; }}
tr.pass td:nth-child(2) {{ color: #176117; }}
tr.warn td:nth-child(2) {{ color: #8a5a00; font-weight: bold; }}
tr.fail td:nth-child(2), tr.not-run td:nth-child(2) {{ color: #a00; font-weight: bold; }}
</style>
</head>
<body>
<h1>Ancestral RNA sequences: {len(rows)} families</h1>
<p>Each family links to its report, or to its results file when there is no report, or to the
log of the step that failed. <a href="summary.tsv">summary.tsv</a> holds the same table.
A warn status means MrBayes did not converge by the thresholds of the workflow's configuration:
run longer chains before trusting the ancestors.</p>
<table>
<tr><th>family</th>{head}</tr>
{chr(10).join(body)}
</table>
</body>
</html>
"""


def write(results, families, route="mrbayes"):
    rows = [family_row(results, family, route) for family in families]
    os.makedirs(results, exist_ok=True)
    write_atomically(os.path.join(results, "summary.tsv"), summary_tsv(rows))
    write_atomically(os.path.join(results, "index.html"), index_html(rows))
    return rows


def main(argv):
    if not argv or argv[0].startswith("-"):
        print(__doc__.strip())
        return 0 if argv and argv[0] in ("-h", "--help") else 1
    results, families = argv[0], argv[1:]
    if not os.path.isdir(results):
        print(f"summarize: '{results}' is not a folder.")
        return 1
    if not families:
        families = sorted(name for name in os.listdir(results)
                          if os.path.isdir(os.path.join(results, name, "logs")))
    write(results, families)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
