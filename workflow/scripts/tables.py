"""The study's tables: one row per replicate and method, one per grid point and
method, and the paired differences between methods.

    python3 -S -E workflow/scripts/tables.py STUDY_JSON REPLICATES_TSV SUMMARY_TSV [DIFFERENCES_TSV]
run in OUTDIR, reads every replicate's and every sampler's record
(STUDY_JSON: the checked study).
"""

import json
import math
import sys
from pathlib import Path

import methods as study_methods
import replicate
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
# Columns added with the methods, after all of the above: the method's label
# and the simulation's own ratio on every row; a sampler's settings and
# posterior means when the study has samplers; snpbayes' digest when it ran.
METHOD_COLUMNS = ("method", "ratio_true")
SAMPLER_COLUMNS = ("seed", "iterations", "burn_in", "thin", "var_e", "var_b", "var_g", "pi", "p_class0", "p_class1",
                   "p_class2", "p_class3", "snps_in_model", "ess_min", "snpbayes_s", "ms_per_iteration")
SNPBAYES_COLUMNS = ("snpbayes_sha256",)
# The columns that measure times, which two runs of one study do not share.
TIMES = TIME_COLUMNS + ("snpbayes_s", "ms_per_iteration", "ms_per_iteration_mean")
SUMMARY_METHOD_COLUMNS = ("method", "ratio_mean", "ratio_true_mean")
SUMMARY_SAMPLER_MEANS = ("var_e", "var_b", "var_g", "pi", "snps_in_model", "ms_per_iteration")
# differences.tsv after the swept keys: the paired differences method minus
# reference of acc_indep (with the replicates where the method was better, and
# tied) and of slope_indep.
DIFFERENCE_COLUMNS = ("method", "reference", "n", "acc_indep_diff_mean", "acc_indep_diff_se", "better", "ties",
                      "slope_indep_diff_mean", "slope_indep_diff_se")

REAL_DIGITS = 12


class TableError(ValueError):
    """Records that do not make one study."""


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


def _uses_snpbayes(study):
    return any(m.sampler for m in study_methods.of(study)) or any(
        p.ratio == study_file.ESTIMATED for p in study_file.grid(study))


def theory_cells(point, expected=True):
    """h2_records, and the expected accuracies when `expected` (snpblup's rows)."""
    daetwyler, ridge = theory.expected(point.parameters) if expected else (None, None)
    return [theory.record_heritability(point.parameters), daetwyler, ridge]


def build_cells(record):
    """The build columns of a record; empty for one written before builds were
    recorded, and for a program it did not run."""
    build = record.get("build", {})
    sha256 = build.get("sha256", {})
    return [build.get("commit"), build.get("modified"), *(sha256.get(c.removesuffix("_sha256"))
                                                          for c in BUILD_COLUMNS[2:])]


def method_rows(study, records):
    """(point, replicate number, method, row record) in table order: each
    replicate's methods in the study's order. `records` maps (point name,
    replicate) to the replicate's record and (point name, replicate, label)
    to a sampler's; a sampler's row record holds its settings beside its
    figures. A sampler whose data are not its replicate's is refused."""
    rows, stale = [], []
    for point in study_file.grid(study):
        for r in range(1, study["replicates"] + 1):
            own = records[point.name, r]
            for method in study_methods.of(study):
                if not method.sampler:
                    rows.append((point, r, method, own))
                    continue
                record = records[point.name, r, method.label]
                if own.get("data_sha256") not in (None, record.get("data_sha256")):
                    stale.append(f"{study_file.run_folder(point, r)}/{method.label}")
                rows.append((point, r, method, {**record["settings"], **record,
                                                "ratio_true": own.get("ratio_true")}))
    if stale:
        raise TableError(f"{len(stale)} sampler run(s) used other SNP_data than their replicate's record names, "
                         f"as after a replicate ran again with another simulator: {', '.join(stale[:5])}; "
                         "run them again (--forcerun sampler)")
    return rows


def replicate_rows(study, records):
    """Header and rows of replicates.tsv (see method_rows for `records`)."""
    samplers, snpbayes = any(m.sampler for m in study_methods.of(study)), _uses_snpbayes(study)
    header = swept_columns(study) + ["replicate", *RECORD_COLUMNS, *THEORY_COLUMNS, *TIME_COLUMNS, "dir",
                                     *BUILD_COLUMNS, *METHOD_COLUMNS]
    header += list(SAMPLER_COLUMNS) * samplers + list(SNPBAYES_COLUMNS) * snpbayes
    rows = []
    for point, r, method, record in method_rows(study, records):
        row = _swept_cells(point) + [r] + [record.get(c) for c in RECORD_COLUMNS]
        row += theory_cells(point, expected=not method.sampler) + [record.get(c) for c in TIME_COLUMNS]
        row += [study_file.run_folder(point, r)] + build_cells(record) + [method.label, record.get("ratio_true")]
        row += [record.get(c) for c in SAMPLER_COLUMNS] * samplers
        row += [record.get("build", {}).get("sha256", {}).get("snpbayes")] * snpbayes
        rows.append(row)
    return header, rows


def mean_and_se(values):
    """Mean and standard error (sample standard deviation / sqrt n) of the
    values that are not None; the error is None for a single value, both are
    None for none."""
    values = [v for v in values if v is not None]
    n = len(values)
    if n == 0:
        return None, None
    mean = sum(values) / n
    if n < 2:
        return mean, None
    return mean, math.sqrt(sum((v - mean) ** 2 for v in values) / (n - 1) / n)


def _number(v):
    return None if v is None else float(v)


def _by_point_and_method(study, records):
    """{(point name, label): [row records of its replicates]} in table order."""
    groups = {}
    for point, _, method, record in method_rows(study, records):
        groups.setdefault((point.name, method.label), []).append(record)
    return groups


def summary_rows(study, records):
    """Header and rows of summary.tsv, one row per grid point and method."""
    samplers = any(m.sampler for m in study_methods.of(study))
    header = swept_columns(study) + ["n"]
    for name in SUMMARY_STATISTICS:
        header += [f"{name}_mean", f"{name}_se"]
    header += [*THEORY_COLUMNS, *SUMMARY_METHOD_COLUMNS]
    header += [f"{name}_mean" for name in SUMMARY_SAMPLER_MEANS] * samplers + ["ess_min_min"] * samplers
    groups = _by_point_and_method(study, records)
    rows = []
    for point in study_file.grid(study):
        for method in study_methods.of(study):
            mine = groups[point.name, method.label]
            row = _swept_cells(point) + [len(mine)]
            for name in SUMMARY_STATISTICS:
                row += list(mean_and_se([_number(rec.get(name)) for rec in mine]))
            row += theory_cells(point, expected=not method.sampler) + [method.label]
            row += [mean_and_se([_number(rec.get(c)) for rec in mine])[0] for c in ("ratio", "ratio_true")]
            if samplers:
                row += [mean_and_se([_number(rec.get(c)) for rec in mine])[0] for c in SUMMARY_SAMPLER_MEANS]
                ess = [rec["ess_min"] for rec in mine if rec.get("ess_min") is not None]
                row.append(min(ess) if ess else None)
            rows.append(row)
    return header, rows


def reference(study):
    """The method the others are compared with: snpblup, or the first method."""
    found = study_methods.of(study)
    return next((m for m in found if not m.sampler), found[0])


def paired(values, baseline):
    """The paired differences value - baseline of the pairs where both are
    numbers: (mean, standard error = sd / sqrt n, n, better, ties), better
    counting the pairs where the value is the larger."""
    pairs = [(v, b) for v, b in zip(values, baseline) if v is not None and b is not None
             and not math.isnan(v) and not math.isnan(b)]
    mean, se = mean_and_se([v - b for v, b in pairs])
    return mean, se, len(pairs), sum(v > b for v, b in pairs), sum(v == b for v, b in pairs)


def difference_rows(study, records):
    """Header and rows of differences.tsv: per grid point, each method but the
    reference against the reference on the same replicates."""
    header = swept_columns(study) + list(DIFFERENCE_COLUMNS)
    base = reference(study)
    groups = _by_point_and_method(study, records)
    rows = []
    for point in study_file.grid(study):
        theirs = groups[point.name, base.label]
        for method in study_methods.of(study):
            if method.label == base.label:
                continue
            mine = groups[point.name, method.label]
            acc_mean, acc_se, n, better, ties = paired(*([_number(r.get("acc_indep")) for r in rows_]
                                                         for rows_ in (mine, theirs)))
            slope_mean, slope_se, _, _, _ = paired(*([_number(r.get("slope_indep")) for r in rows_]
                                                     for rows_ in (mine, theirs)))
            rows.append(_swept_cells(point) + [method.label, base.label, n, acc_mean, acc_se, better, ties,
                                               slope_mean, slope_se])
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
    """Every replicate's record by (point name, replicate), every sampler's by
    (point name, replicate, label)."""
    records = {}
    for point in study_file.grid(study):
        for r in range(1, study["replicates"] + 1):
            run = Path(folder, study_file.run_folder(point, r))
            records[point.name, r] = json.loads((run / replicate.RECORD).read_text())
            for method in study_methods.of(study):
                if method.sampler:
                    path = run / method.label / replicate.METHOD_RECORD
                    records[point.name, r, method.label] = json.loads(path.read_text())
    return records


def main(argv):
    if len(argv) not in (3, 4):
        sys.exit("usage: tables.py STUDY_JSON REPLICATES_TSV SUMMARY_TSV [DIFFERENCES_TSV]   (in OUTDIR)")
    study = json.loads(argv[0])
    records = load_records(study)
    try:
        write_tsv(argv[1], *replicate_rows(study, records))
    except TableError as problem:
        sys.exit(f"tables.py: {problem}")
    write_tsv(argv[2], *summary_rows(study, records))
    if len(argv) == 4:
        write_tsv(argv[3], *difference_rows(study, records))


if __name__ == "__main__":
    main(sys.argv[1:])
