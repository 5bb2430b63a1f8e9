"""The study's figures: accuracy against the first swept parameter, and one
replicate of each grid point in detail.

    python3 -E workflow/scripts/figures.py accuracy STUDY_JSON SUMMARY_TSV REPLICATES_TSV PNG SVG
    python3 -E workflow/scripts/figures.py replicates STUDY_JSON SNP_SETUP SNP_RESULTS PNG [...]
(the second draws, for each grid point in turn, replicate 1 from its three files).
"""

import json
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.lines import Line2D  # noqa: E402

import outputs  # noqa: E402
import study as study_file  # noqa: E402
import tables  # noqa: E402
import theory  # noqa: E402

# Parameters the expectations vary smoothly with, so they are drawn as curves.
SMOOTH = {"nrec", "n_snp", "h2", "var_a"}
ACCURACY = "accuracy, corr(s_bv, g_bv)"


def _x_axis(name, values):
    """Positions of the swept values, keyed by their table text (True and 1
    must stay apart), and whether the axis is logarithmic and numeric; the
    ratio with 'own' and values that are not numbers stand at even steps."""
    numeric = all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in values)
    if not numeric:
        return {tables.cell(v): i for i, v in enumerate(values)}, False, False
    log = min(values) > 0 and max(values) / min(values) >= 8
    return {tables.cell(v): float(v) for v in values}, log, True


def _expectation_curve(point, name, xs):
    rows = [theory.expected({**point.parameters, name: x}) for x in xs]
    return [r[0] for r in rows], [r[1] for r in rows]


def _styles_legend(ax):
    handles = [
        Line2D([], [], color="0.2", marker="o", label="independent set: mean ± 2 SE"),
        Line2D([], [], color="0.2", marker="o", linestyle="none", alpha=0.3, markersize=3,
               label="independent set: replicates"),
        Line2D([], [], color="0.2", marker="^", markerfacecolor="none", linestyle=":", label="training set: mean"),
        Line2D([], [], color="0.2", linestyle="--", label="expected (Daetwyler et al. 2008)"),
        Line2D([], [], color="0.2", linestyle="-.", label="expected (ridge regression)"),
    ]
    return ax.legend(handles=handles, loc="lower right", fontsize="small", framealpha=0.9)


def accuracy_figure(study, summary, replicates, png, svg):
    """Independent-set accuracy against the first swept parameter, one colour
    per combination of the other swept parameters; returns the x tick labels."""
    fig, ax = plt.subplots(figsize=(7.5, 5))
    points = study_file.grid(study)
    sweep = list(study["sweep"])
    if sweep:
        x_name = sweep[0]
        positions, log, numeric = _x_axis(x_name, study["sweep"][x_name])
        column = "ratio_setting" if x_name == "ratio" else x_name
        groups = {}
        for point, row in zip(points, summary):
            others = tuple((k, v) for k, v in point.swept.items() if k != x_name)
            groups.setdefault(others, []).append((point, row))
        colours = plt.rcParams["axes.prop_cycle"].by_key()["color"]
        for g, (others, members) in enumerate(groups.items()):
            colour = colours[g % len(colours)]
            xs = [positions[tables.cell(p.swept[x_name])] for p, _ in members]
            mean = [float(r["acc_indep_mean"]) for _, r in members]
            se = [float(r["acc_indep_se"]) if r["acc_indep_se"] else 0.0 for _, r in members]
            ax.errorbar(xs, mean, yerr=[2 * s for s in se], color=colour, marker="o", capsize=3)
            ax.plot(xs, [float(r["acc_train_mean"]) for _, r in members], color=colour, marker="^",
                    markerfacecolor="none", linestyle=":")
            names = {p.name for p, _ in members}
            reps = [r for r in replicates if r["dir"].split("/")[1] in names]
            ax.plot([positions[r[column]] for r in reps],
                    [float(r["acc_indep"]) for r in reps], color=colour, marker="o", linestyle="none",
                    alpha=0.3, markersize=3)
            if numeric and x_name in SMOOTH and len(xs) > 1:
                lo, hi = min(xs), max(xs)
                fine = [lo * (hi / lo) ** (i / 60) if log else lo + (hi - lo) * i / 60 for i in range(61)]
                daetwyler, ridge = _expectation_curve(members[0][0], x_name, fine)
            else:
                fine = xs
                daetwyler = [float(r["expected_daetwyler"]) for _, r in members]
                ridge = [float(r["expected_ridge"]) for _, r in members]
            ax.plot(fine, daetwyler, color=colour, linestyle="--")
            ax.plot(fine, ridge, color=colour, linestyle="-.")
            label = ", ".join(f"{k} = {study_file.value_label(v)}" for k, v in others) or "all"
            ax.plot([], [], color=colour, linewidth=6, label=label)
        if log:
            ax.set_xscale("log")
        ax.set_xticks(list(positions.values()))
        ax.set_xticklabels([study_file.value_label(v) for v in study["sweep"][x_name]])
        ax.minorticks_off()
        ax.set_xlabel(study_file.LABELS[x_name])
        if len(groups) > 1 or any(groups):
            ax.add_artist(ax.legend(loc="upper left", fontsize="small", framealpha=0.9))
    else:
        r = summary[0]
        xs = [int(row["replicate"]) for row in replicates]
        ax.plot(xs, [float(row["acc_indep"]) for row in replicates], "o", color="C0", alpha=0.6, markersize=4)
        ax.plot(xs, [float(row["acc_train"]) for row in replicates], "^", color="C0", markerfacecolor="none")
        mean = float(r["acc_indep_mean"])
        se = float(r["acc_indep_se"]) if r["acc_indep_se"] else 0.0
        ax.axhspan(mean - 2 * se, mean + 2 * se, color="C0", alpha=0.15)
        ax.axhline(mean, color="C0")
        ax.axhline(float(r["acc_train_mean"]), color="C0", linestyle=":")
        ax.axhline(float(r["expected_daetwyler"]), color="C0", linestyle="--")
        ax.axhline(float(r["expected_ridge"]), color="C0", linestyle="-.")
        ax.set_xlabel("replicate")
    _styles_legend(ax)
    ax.set_ylabel(ACCURACY)
    ax.set_ylim(0, 1.05)
    ax.grid(alpha=0.3)
    n = study["replicates"]
    ax.set_title(f"Accuracy of genomic prediction, {n} replicate{'s' if n > 1 else ''} per point")
    fig.tight_layout()
    fig.savefig(png, dpi=130)
    fig.savefig(svg)
    ticks = [t.get_text() for t in ax.get_xticklabels()]
    plt.close(fig)
    return ticks


def _scatter(ax, x, y, title, xlabel, ylabel):
    ax.plot(x, y, "o", markersize=2.5, alpha=0.5)
    finite = [v for v in x + y if math.isfinite(v)]
    lo, hi = min(finite), max(finite)
    ax.plot([lo, hi], [lo, hi], color="0.4", linewidth=1, label="1:1")
    b = outputs.slope(y, x)
    if math.isfinite(b):
        a = sum(y) / len(y) - b * sum(x) / len(x)
        ax.plot([lo, hi], [a + b * lo, a + b * hi], color="C3", label=f"regression, slope {b:.3f}")
    ax.set_title(f"{title}: r = {outputs.correlation(x, y):.3f}", fontsize="medium")
    ax.set_xlabel(xlabel)
    ax.set_ylabel(ylabel)
    ax.legend(fontsize="small", loc="upper left")
    ax.grid(alpha=0.3)


def replicate_figure(setup_path, results_path, title, png):
    """Simulated against genomic breeding values in both sets (the regression
    slope is the table's slope), and estimated against simulated effects."""
    nrec = outputs.read_setup(setup_path).nrec
    res = outputs.read_results(results_path, nrec)
    fig, axes = plt.subplots(1, 3, figsize=(13, 4.3))
    for ax, (s_bv, g_bv), name in zip(axes, (res.train, res.indep), ("training set", "independent set")):
        _scatter(ax, list(g_bv), list(s_bv), name, "genomic breeding value (g_bv)", "simulated breeding value (s_bv)")
    _scatter(axes[2], res.snp_val, res.snp_sol, "SNP effects", "simulated effect", "estimated effect")
    fig.suptitle(title)
    fig.tight_layout()
    fig.savefig(png, dpi=110)
    plt.close(fig)


def main(argv):
    if len(argv) < 2 or argv[0] not in ("accuracy", "replicates"):
        sys.exit(__doc__.split("\n\n")[1])
    kind, study, files = argv[0], json.loads(argv[1]), argv[2:]
    points = study_file.grid(study)
    if kind == "accuracy" and len(files) == 4:
        summary, replicates, png, svg = files
        accuracy_figure(study, tables.read_tsv(summary), tables.read_tsv(replicates), png, svg)
    elif kind == "replicates" and len(files) == 3 * len(points):
        for point, (setup, results, png) in zip(points, zip(*[iter(files)] * 3)):
            replicate_figure(setup, results, f"{point.name}, replicate 1", png)
    else:
        sys.exit(__doc__.split("\n\n")[1])


if __name__ == "__main__":
    main(sys.argv[1:])
