"""The study's figures: accuracy and the paired differences between methods
against the first swept parameter, and replicate 1 of each grid point in
detail.

    python3 -E workflow/scripts/figures.py accuracy STUDY_JSON SUMMARY_TSV REPLICATES_TSV PNG SVG [DIFFERENCES_TSV PNG SVG]
    python3 -E workflow/scripts/figures.py replicates STUDY_JSON FOLDER
(the second draws replicate 1 of each grid point into FOLDER/POINT.png, from
the replicates' folders under the current one).
"""

import json
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.lines import Line2D  # noqa: E402

import methods as study_methods  # noqa: E402
import outputs  # noqa: E402
import replicate  # noqa: E402
import sampler  # noqa: E402
import study as study_file  # noqa: E402
import tables  # noqa: E402
import theory  # noqa: E402

# Parameters the expectations vary smoothly with, so they are drawn as curves.
SMOOTH = {"nrec", "n_snp", "h2", "var_a"}
ACCURACY = "accuracy, corr(s_bv, g_bv)"
EXPECTED = "0.35"  # the expectations' colour: theory, not a method
# Series of one x value stand this far apart: a factor on a log axis, a share
# of the axis' span otherwise.
DODGE_FACTOR, DODGE_SHARE = 1.06, 0.025


def colours(study):
    """Each method's colour by its label, in the study's order."""
    cycle = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    return {m.label: cycle[i % len(cycle)] for i, m in enumerate(study_methods.of(study))}


class Axis:
    """The x axis of the study figures: the first swept parameter (or one
    place without a sweep), and the panels, one per combination of the
    other swept values."""

    def __init__(self, study):
        self.points = study_file.grid(study)
        sweep = list(study["sweep"])
        self.name = sweep[0] if sweep else None
        values = study["sweep"][self.name] if sweep else [None]
        self.numeric = bool(sweep) and all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in values)
        # Positions keyed by the values' table text (True and 1 must stay apart).
        self.positions = {tables.cell(v): float(v) if self.numeric else float(i) for i, v in enumerate(values)}
        self.log = self.numeric and min(values) > 0 and max(values) / min(values) >= 8
        self.labels = [study_file.value_label(v) for v in values] if sweep else ["the base parameters"]
        self.panels = {}
        for point in self.points:
            others = tuple((k, v) for k, v in point.swept.items() if k != self.name)
            self.panels.setdefault(others, []).append(point)

    def x(self, point):
        return self.positions[tables.cell(point.swept.get(self.name))]

    def dodge(self, x, series, count):
        """Where series number `series` of `count` stands at x."""
        k = series - (count - 1) / 2
        if self.log:
            return x * DODGE_FACTOR ** k
        span = max(self.positions.values()) - min(self.positions.values()) or 1.0
        return x + k * DODGE_SHARE * span * (1 if self.numeric else 4)

    def finish(self, ax):
        if self.log:
            ax.set_xscale("log")
        ax.set_xticks(list(self.positions.values()))
        ax.set_xticklabels(self.labels)
        ax.minorticks_off()
        low, high = min(self.positions.values()), max(self.positions.values())
        if not self.log:
            pad = (high - low) * 0.08 or 0.5
            ax.set_xlim(low - pad, high + pad)
        if self.name:
            ax.set_xlabel(study_file.LABELS[self.name] + (", log scale" if self.log else ""))
        ax.grid(alpha=0.3)

    def title(self, others):
        return study_file.swept_text(dict(others))


def _figure(axis):
    """A figure with one panel per combination of the other swept values."""
    n = len(axis.panels)
    columns = min(n, 3)
    rows = -(-n // columns)
    size = (7.5, 5.6) if n == 1 else (4.8 * columns + 0.6, 4.0 * rows + 1.4)
    fig, axes = plt.subplots(rows, columns, figsize=size, sharey=True, squeeze=False)
    for ax in axes.flat[n:]:
        ax.set_visible(False)
    return fig, list(axes.flat[:n])


LEGEND_ROW_INCHES, LEGEND_PAD_INCHES = 0.2, 0.12


def _save(fig, legends, title, png, svg):
    """Titles and saves a figure with `legends` (lists of handles) in rows of
    at most three entries below its panels."""
    fig.suptitle(title)
    height, y = fig.get_size_inches()[1], 0.0
    for handles in reversed(legends):
        rows = -(-len(handles) // 3)
        fig.legend(handles=handles, loc="lower center", bbox_to_anchor=(0.5, y / height), ncol=min(len(handles), 3),
                   fontsize="small", frameon=False, borderaxespad=0.2, borderpad=0.2)
        y += rows * LEGEND_ROW_INCHES + LEGEND_PAD_INCHES
    fig.tight_layout(rect=(0, y / height, 1, 1))
    fig.savefig(png, dpi=130)
    fig.savefig(svg)
    plt.close(fig)


def _method_handles(labels, colour):
    return [Line2D([], [], color=colour[label], marker="o", linewidth=2, label=label) for label in labels]


def _rows_by(rows):
    """replicates.tsv's rows by (grid point name, method label), in table order."""
    found = {}
    for row in rows:
        found.setdefault((row["dir"].split("/")[1], row["method"]), []).append(row)
    return found


def _summary_by(study, summary):
    """summary.tsv's rows by (grid point name, label), in the study's order."""
    keys = [(p.name, m.label) for p in study_file.grid(study) for m in study_methods.of(study)]
    return dict(zip(keys, summary))


def _float(text):
    return float(text) if text not in ("", None) else math.nan


def _expectations(ax, axis, points):
    """The expected accuracies of SNP-BLUP at these points, as curves where
    they vary smoothly with the x parameter."""
    xs = [axis.x(p) for p in points]
    if axis.numeric and axis.name in SMOOTH and len(xs) > 1:
        lo, hi = min(xs), max(xs)
        fine = [lo * (hi / lo) ** (i / 60) if axis.log else lo + (hi - lo) * i / 60 for i in range(61)]
        expected = [theory.expected({**points[0].parameters, axis.name: x}) for x in fine]
    elif len(xs) > 1:
        fine, expected = xs, [theory.expected(p.parameters) for p in points]
    else:  # one place: a short level line across its series
        fine = [axis.dodge(xs[0], -1.5, 1), axis.dodge(xs[0], 1.5, 1)] if not axis.log else [xs[0] / 1.2, xs[0] * 1.2]
        expected = [theory.expected(points[0].parameters)] * 2
    ax.plot(fine, [e[0] for e in expected], color=EXPECTED, linestyle="--", linewidth=1)
    ax.plot(fine, [e[1] for e in expected], color=EXPECTED, linestyle="-.", linewidth=1)


def _series(ax, xs, rows, column, dots, colour):
    """One method's means ± 2 SE of `column` (the rows' COLUMN_mean and
    COLUMN_se) at xs, and its replicates' dots, (x, y) pairs."""
    se = [_float(r[f"{column}_se"]) for r in rows]
    ax.errorbar(xs, [_float(r[f"{column}_mean"]) for r in rows], yerr=[2 * s if math.isfinite(s) else 0.0 for s in se],
                color=colour, marker="o", capsize=3, zorder=3)
    ax.plot([d[0] for d in dots], [d[1] for d in dots], color=colour, marker="o", linestyle="none", alpha=0.3,
            markersize=3)


def _finish_panel(ax, axis, others):
    axis.finish(ax)
    if others:
        ax.set_title(axis.title(others), fontsize="medium")


def _style(label, dots=False):
    if dots:
        return Line2D([], [], color="0.2", marker="o", linestyle="none", alpha=0.3, markersize=3, label=label)
    return Line2D([], [], color="0.2", marker="o", label=label)


def accuracy_figure(study, summary, replicates, png, svg):
    """Independent-set accuracy of every method against the first swept
    parameter, one panel per combination of the others; returns the x tick
    labels."""
    axis, labels = Axis(study), [m.label for m in study_methods.of(study)]
    colour, means, reps = colours(study), _summary_by(study, summary), _rows_by(replicates)
    fig, axes = _figure(axis)
    for ax, (others, points) in zip(axes, axis.panels.items()):
        for i, label in enumerate(labels):
            xs = [axis.dodge(axis.x(p), i, len(labels)) for p in points]
            rows = [means[p.name, label] for p in points]
            dots = [(x, _float(r["acc_indep"])) for x, p in zip(xs, points) for r in reps.get((p.name, label), [])]
            _series(ax, xs, rows, "acc_indep", dots, colour[label])
            ax.plot(xs, [_float(r["acc_train_mean"]) for r in rows], color=colour[label], marker="^",
                    markerfacecolor="none", linestyle=":", linewidth=1, alpha=0.8)
        _expectations(ax, axis, points)
        _finish_panel(ax, axis, others)
        ax.set_ylim(0, 1.05)
    for ax in axes[::3]:
        ax.set_ylabel(ACCURACY)
    styles = [
        _style("independent set: mean ± 2 SE"), _style("independent set: replicates", dots=True),
        Line2D([], [], color="0.2", marker="^", markerfacecolor="none", linestyle=":", label="training set: mean"),
        Line2D([], [], color=EXPECTED, linestyle="--", label="expected, SNP-BLUP (Daetwyler et al. 2008)"),
        Line2D([], [], color=EXPECTED, linestyle="-.", label="expected, ridge regression at the true ratio"),
    ]
    n = study["replicates"]
    legends = [_method_handles(labels, colour), styles] if len(labels) > 1 else [styles]
    _save(fig, legends, f"Accuracy of genomic prediction, {n} replicate{'s' if n > 1 else ''} per point", png, svg)
    return list(axis.labels)


def differences_figure(study, differences, replicates, png, svg):
    """Each method's independent-set accuracy minus the reference's, paired
    by replicate: mean ± 2 SE and each replicate's difference."""
    axis, base = Axis(study), tables.reference(study)
    labels = [m.label for m in study_methods.of(study) if m.label != base.label]
    colour, reps = colours(study), _rows_by(replicates)
    keys = [(p.name, label) for p in axis.points for label in labels]
    means = dict(zip(keys, differences))
    fig, axes = _figure(axis)
    for ax, (others, points) in zip(axes, axis.panels.items()):
        ax.axhline(0, color="0.1", linewidth=1)
        for i, label in enumerate(labels):
            xs = [axis.dodge(axis.x(p), i, len(labels)) for p in points]
            dots = [(x, _float(a["acc_indep"]) - _float(b["acc_indep"])) for x, p in zip(xs, points)
                    for a, b in zip(reps.get((p.name, label), []), reps.get((p.name, base.label), []))]
            _series(ax, xs, [means[p.name, label] for p in points], "acc_indep_diff", dots, colour[label])
        _finish_panel(ax, axis, others)
    for ax in axes[::3]:
        ax.set_ylabel(f"accuracy − accuracy of {base.label}")
    styles = [_style("mean of the paired differences ± 2 SE"), _style("replicates", dots=True)]
    n = study["replicates"]
    _save(fig, [_method_handles(labels, colour), styles], f"Independent-set accuracy against {base.label}, paired by replicate, {n} replicate"
                        f"{'s' if n > 1 else ''} per point", png, svg)


def _scatter(ax, x, y, title, xlabel, ylabel, colour):
    """y against x with the 1:1 line where both ranges meet and the regression
    of y on x."""
    ax.plot(x, y, "o", markersize=2.5, alpha=0.5, color=colour)
    xs, ys = [v for v in x if math.isfinite(v)], [v for v in y if math.isfinite(v)]
    if xs and ys:
        lo, hi = max(min(xs), min(ys)), min(max(xs), max(ys))
        if lo < hi:
            ax.plot([lo, hi], [lo, hi], color="0.4", linewidth=1, label="1:1")
        b = outputs.slope(y, x)
        if math.isfinite(b):
            a = sum(y) / len(y) - b * sum(x) / len(x)
            ends = [min(xs), max(xs)]
            ax.plot(ends, [a + b * e for e in ends], color="C3", label=f"regression, slope {b:.3f}")
    ax.set_title(f"{title}: r = {outputs.correlation(x, y):.3f}", fontsize="medium")
    ax.set_xlabel(xlabel)
    ax.set_ylabel(ylabel)
    ax.legend(fontsize="small", loc="upper left")
    ax.grid(alpha=0.3)


def _centred(values):
    mean = sum(values) / len(values)
    return [v - mean for v in values]


def method_values(folder, method):
    """A method's values in a replicate's folder: {"train": (s_bv, g_bv),
    "indep": (s_bv, g_bv), "effects": (simulated, estimated)}."""
    if method.sampler:
        prefix = os.path.join(folder, replicate.method_prefix(method.label))
        values = sampler.read_gbv(f"{prefix}.gbv")
        values["effects"] = tuple(sampler.read_effects(f"{prefix}.effects"))
        return values
    nrec = outputs.read_setup(os.path.join(folder, "SNP_setup")).nrec
    res = outputs.read_results(os.path.join(folder, "SNP_results"), nrec)
    return {"train": res.train, "indep": res.indep, "effects": (res.snp_val, res.snp_sol)}


SETS = (("train", "training set"), ("indep", "independent set"))


def replicate_figure(study, folder, title, png):
    """For each method of the study: simulated against genomic breeding
    values of both sets, each centred on its set's mean (the regression slope
    is the table's slope), and estimated against simulated effects. One
    method: one row of three panels; more: one column per method."""
    found, colour = study_methods.of(study), colours(study)
    many = len(found) > 1
    fig, axes = plt.subplots(3 if many else 1, len(found) if many else 3, squeeze=False,
                             figsize=(4.3 * len(found), 11.5) if many else (13, 4.3),
                             sharex="row" if many else False, sharey="row" if many else False)
    for j, method in enumerate(found):
        values = method_values(folder, method)
        panels = [axes[k][j] if many else axes[0][k] for k in range(3)]
        name = f"{method.label}, " if many else ""
        for ax, (key, text) in zip(panels, SETS):
            s_bv, g_bv = values[key]
            _scatter(ax, _centred(list(g_bv)), _centred(list(s_bv)), name + text, "genomic value g_bv, centred",
                     "simulated value s_bv, centred", colour[method.label])
        _scatter(panels[2], list(values["effects"][0]), list(values["effects"][1]), name + "SNP effects",
                 "simulated effect", "estimated effect", colour[method.label])
    fig.suptitle(title)
    fig.tight_layout()
    fig.savefig(png, dpi=110)
    plt.close(fig)


def replicate_title(point):
    return f"{study_file.swept_text(point.swept) or 'The base parameters'}: replicate 1"


def main(argv):
    if len(argv) < 3 or argv[0] not in ("accuracy", "replicates"):
        sys.exit(__doc__.split("\n\n")[1])
    kind, study, files = argv[0], json.loads(argv[1]), argv[2:]
    if kind == "accuracy" and len(files) in (4, 7):
        summary, replicates_tsv, png, svg = files[:4]
        replicates = tables.read_tsv(replicates_tsv)
        accuracy_figure(study, tables.read_tsv(summary), replicates, png, svg)
        if len(files) == 7:
            differences, png, svg = files[4:]
            differences_figure(study, tables.read_tsv(differences), replicates, png, svg)
    elif kind == "replicates" and len(files) == 1:
        for point in study_file.grid(study):
            replicate_figure(study, study_file.run_folder(point, 1), replicate_title(point),
                             os.path.join(files[0], f"{point.name}.png"))
    else:
        sys.exit(__doc__.split("\n\n")[1])


if __name__ == "__main__":
    main(sys.argv[1:])
