"""The study's two tables: one row per replicate and one per grid point.

    python3 -S -E workflow/scripts/tables.py STUDY_JSON REPLICATES_TSV SUMMARY_TSV
run in OUTDIR, reads every replicate's record (STUDY_JSON: the checked study).
"""

import json
import sys
import math
from pathlib import Path

import study as study_file
import theory

# Columns of each replicate's record, in table order, after the swept keys.
RECORD_COLUMNS = ("warmup", "ratio", "rounds", "crit", "acc_train", "acc_indep", "slope_indep", "slope_train",
                  "acc_effects", "mean_estimated", "var_gbv_indep", "var_sbv_indep")
TIME_COLUMNS = ("tarvox_s", "kolber_s", "kolber_cpu_s", "kolber_seconds")
# The build of the programs that made the replicate, after the folder.
BUILD_COLUMNS = ("commit", "modified", "tarvox_sha256", "kolber_sha256", "snp2plink_sha256")
THEORY_COLUMNS = ("h2_records", "expected_daetwyler", "expected_ridge")
SUMMARY_STATISTICS = ("acc_indep", "acc_train", "slope_indep", "rounds")

REAL_DIGITS = 12


def cell(v):
    """A value as a table writes it: whole numbers as they are, nothing for
    None, and every real in the shortest form of its value rounded to
    REAL_DIGITS significant digits (0.377, 0.1, 5.3e-15, 1e+16): the digits a
    double holds beyond those are rounding noise of the arithmetic."""
    if v is None:
        return ""
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, float):
        return "NaN" if math.isnan(v) else format(v, f".{REAL_DIGITS}g")
    return str(v)


def swept_columns(study):
    return ["ratio_setting" if name == "ratio" else name for name in study["sweep"]]


def _swept_cells(point):
    return list(point.swept.values())


def theory_cells(point):
    daetwyler, ridge = theory.expected(point.parameters)
    return [theory.record_heritability(point.parameters), daetwyler, ridge]


def build_cells(record):
    """The build columns of a record; empty for one written before builds were
    recorded, and for a program it did not run."""
    build = record.get("build", {})
    sha256 = build.get("sha256", {})
    return [build.get("commit"), build.get("modified"), *(sha256.get(c.removesuffix("_sha256"))
                                                          for c in BUILD_COLUMNS[2:])]


def replicate_rows(study, records):
    """Header and rows of replicates.tsv; `records` maps (point name, replicate)
    to the record of that replicate."""
    header = swept_columns(study) + ["replicate", *RECORD_COLUMNS, *THEORY_COLUMNS, *TIME_COLUMNS, "dir",
                                     *BUILD_COLUMNS]
    rows = []
    for point in study_file.grid(study):
        expected = theory_cells(point)
        for r in range(1, study["replicates"] + 1):
            record = records[point.name, r]
            rows.append(_swept_cells(point) + [r] + [record[c] for c in RECORD_COLUMNS] + expected
                        + [record[c] for c in TIME_COLUMNS] + [study_file.run_folder(point, r)]
                        + build_cells(record))
    return header, rows


def mean_and_se(values):
    """Mean and standard error (sample standard deviation / sqrt n); the error
    is None for a single value."""
    n = len(values)
    mean = sum(values) / n
    if n < 2:
        return mean, None
    return mean, math.sqrt(sum((v - mean) ** 2 for v in values) / (n - 1) / n)


def summary_rows(study, records):
    """Header and rows of summary.tsv, one row per grid point."""
    header = swept_columns(study) + ["n"]
    for name in SUMMARY_STATISTICS:
        header += [f"{name}_mean", f"{name}_se"]
    header += list(THEORY_COLUMNS)
    rows = []
    for point in study_file.grid(study):
        mine = [records[point.name, r] for r in range(1, study["replicates"] + 1)]
        row = _swept_cells(point) + [len(mine)]
        for name in SUMMARY_STATISTICS:
            row += list(mean_and_se([float(rec[name]) for rec in mine]))
        rows.append(row + theory_cells(point))
    return header, rows


def write_tsv(path, header, rows):
    with open(path, "w") as f:
        for row in [header] + rows:
            f.write("\t".join(cell(v) for v in row) + "\n")


def read_tsv(path):
    """Rows of a table as dicts of text."""
    lines = Path(path).read_text().splitlines()
    header = lines[0].split("\t")
    return [dict(zip(header, line.split("\t"))) for line in lines[1:]]


def load_records(study, folder="."):
    return {(point.name, r): json.loads(Path(folder, study_file.run_folder(point, r), "replicate.json").read_text())
            for point in study_file.grid(study) for r in range(1, study["replicates"] + 1)}


def main(argv):
    if len(argv) != 3:
        sys.exit("usage: tables.py STUDY_JSON REPLICATES_TSV SUMMARY_TSV   (in OUTDIR)")
    study = json.loads(argv[0])
    records = load_records(study)
    write_tsv(argv[1], *replicate_rows(study, records))
    write_tsv(argv[2], *summary_rows(study, records))


if __name__ == "__main__":
    main(sys.argv[1:])
