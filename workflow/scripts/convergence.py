#!/usr/bin/env python3
"""Judges whether a MrBayes analysis has converged, from the files it wrote.

Reads the parameter summary (.pstat: the smallest effective sample size
over all parameters, and with two or more runs the largest potential scale
reduction factor) and, with two or more runs, the split summary (.tstat:
the average standard deviation of split frequencies, which MrBayes prints
on screen but does not store). Writes a two-line tab-separated file:

    min_ESS  max_PSRF  ASDSF  flag  notes

where flag is "pass" when every figure MrBayes gave meets its threshold and
"warn" otherwise; notes say which ones failed. A figure MrBayes did not give
(one run: no PSRF, no split deviations) is "NA" and judges nothing.
"""

import argparse
import math
import re
import sys

from textio import write_atomically


class FormatError(Exception):
    pass


GLUED_NA = re.compile(r"([-+0-9.eE]+)(NA)")


def unglued(row):
    """MrBayes prints a value and a following NA without a blank between them
    when the value fills its column ("1.565980e-01NA"): two values."""
    cells = []
    for cell in row:
        glued = GLUED_NA.fullmatch(cell)
        cells.extend(glued.groups() if glued else [cell])
    return cells


def read_table(path):
    """Header names and rows of a MrBayes summary table, skipping its [ID] line.

    Rows are split on whitespace: MrBayes pads some .tstat columns with two
    tabs, and no name or value holds a space."""
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            lines = [line.split() for line in handle if line.strip() and not line.startswith("[")]
    except OSError as error:
        raise FormatError(f"cannot read '{path}': {error.strerror}") from error
    if not lines:
        raise FormatError(f"'{path}' holds no table")
    header, rows = lines[0], [unglued(row) for row in lines[1:]]
    for number, row in enumerate(rows, start=1):
        if len(row) != len(header):
            raise FormatError(
                f"'{path}': row {number} has {len(row)} values for {len(header)} columns")
    return header, rows


def column(path, header, rows, *names):
    """The finite numbers of the first present column among `names` (MrBayes
    writes NA, or nan, where a figure cannot be computed); None without such a column."""
    for name in names:
        if name in header:
            index = header.index(name)
            break
    else:
        return None
    values = []
    for row in rows:
        try:
            value = float(row[index])
        except ValueError:
            if row[index] == "NA":
                continue
            raise FormatError(f"'{path}': '{row[index]}' in column {name} is not a number")
        if math.isfinite(value):
            values.append(value)
    return values


def diagnose(pstat, tstat=None):
    """(min ESS, max PSRF, ASDSF), each None where MrBayes gave no figure."""
    header, rows = read_table(pstat)
    if "Parameter" not in header or not rows:
        raise FormatError(f"'{pstat}' is not a MrBayes parameter summary (.pstat)")
    ess = column(pstat, header, rows, "minESS", "ESS")
    if ess is None:
        raise FormatError(f"'{pstat}' has no ESS column")
    psrf = column(pstat, header, rows, "PSRF")
    asdsf = None
    if tstat:
        header, rows = read_table(tstat)
        deviations = column(tstat, header, rows, "Stddev(s)")
        if deviations is None:
            raise FormatError(
                f"'{tstat}' has no Stddev(s) column: is it a .tstat of two or more runs?")
        # MrBayes's own figure is the mean over the informative splits it lists.
        asdsf = sum(deviations) / len(deviations) if deviations else None
    return (min(ess) if ess else None, max(psrf) if psrf else None, asdsf)


def judge(min_ess, max_psrf, asdsf, thresholds):
    """("pass" or "warn", notes) for the figures against (min ESS, max PSRF, max ASDSF)."""
    need_ess, most_psrf, most_asdsf = thresholds
    notes = []
    if min_ess is not None and min_ess < need_ess:
        notes.append(f"min ESS {min_ess:.4g} < {need_ess:g}")
    if max_psrf is not None and max_psrf > most_psrf:
        notes.append(f"max PSRF {max_psrf:.4g} > {most_psrf:g}")
    if asdsf is not None and asdsf > most_asdsf:
        notes.append(f"ASDSF {asdsf:.4g} > {most_asdsf:g}")
    flag = "warn" if notes else "pass"
    if min_ess is None:
        notes.append("no ESS figure")
    if max_psrf is None and asdsf is None:
        notes.append("one run: no PSRF or ASDSF (use nruns >= 2)")
    return flag, "; ".join(notes)


def figure(value):
    # Seven significant digits: as many as MrBayes prints.
    return "NA" if value is None else f"{value:.7g}"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("pstat", help="MrBayes parameter summary (.pstat)")
    parser.add_argument("tstat", nargs="?", help="MrBayes split summary (.tstat), two or more runs")
    parser.add_argument("--min-ess", type=float, default=100.0)
    parser.add_argument("--max-psrf", type=float, default=1.05)
    parser.add_argument("--max-asdsf", type=float, default=0.05)
    parser.add_argument("--out", help="write the verdict here as well as on standard output")
    args = parser.parse_args(argv)
    try:
        figures = diagnose(args.pstat, args.tstat)
    except FormatError as error:
        print(f"Convergence check error: {error}.")
        return 1
    flag, notes = judge(*figures, (args.min_ess, args.max_psrf, args.max_asdsf))
    text = ("min_ESS\tmax_PSRF\tASDSF\tflag\tnotes\n" +
            "\t".join([*map(figure, figures), flag, notes]) + "\n")
    sys.stdout.write(text)
    if args.out:
        write_atomically(args.out, text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
