"""The study's report: one self-contained HTML file that any browser shows
offline, with no scripts: the study as run, its grid and methods, the tables,
the figures inline with captions, and the builds of the programs that made the
replicates.

    python3 -E workflow/scripts/report.py STUDY_JSON STUDY_NAME HTML FILE...
FILEs by their names: summary.tsv, replicates.tsv, accuracy.png, with two
methods or more differences.tsv and differences.png, and one
replicate_001/POINT.png per grid point.
"""

import base64
import datetime
import html
import json
import platform
import sys
from collections import Counter
from pathlib import Path

import yaml

import methods as study_methods
import study as study_file
import tables

STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 75em; padding: 0 1em; color: #222; }
h1 { font-size: 1.6em; } h2 { font-size: 1.25em; margin-top: 2em; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; font-size: 0.85em; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.5em; text-align: right; white-space: nowrap; }
th { background: #f0f0f0; position: sticky; top: 0; }
td.text, th.text { text-align: left; }
.scroll { max-height: 30em; overflow: auto; border: 1px solid #ccc; display: inline-block; max-width: 100%; }
figure { margin: 1.5em 0; } figure img { max-width: 100%; border: 1px solid #eee; }
figcaption { font-size: 0.9em; color: #444; max-width: 60em; }
pre { background: #f6f6f6; padding: 0.8em; overflow: auto; }
code { font-size: 0.9em; }
"""
SECTIONS = (("study", "The study"), ("grid", "The grid"), ("methods", "The methods"), ("accuracy", "Accuracy"),
            ("differences", "Paired differences"), ("summary", "summary.tsv"),
            ("replicates", "Replicate 1 of each grid point"), ("table", "replicates.tsv"),
            ("provenance", "The programs' builds"))


def _e(text):
    return html.escape(str(text))


def table_html(header, rows, text_columns=()):
    """An HTML table of text cells; `text_columns` align left."""
    def row(cells, tag):
        return "<tr>" + "".join(f'<{tag}{" class=text" if h in text_columns else ""}>{_e(c)}</{tag}>'
                                for h, c in zip(header, cells)) + "</tr>"
    body = "\n".join(row([r.get(h, "") for h in header], "td") for r in rows)
    return f'<div class="scroll"><table>\n{row(header, "th")}\n{body}\n</table></div>'


def image_html(png, alt, caption):
    data = base64.b64encode(Path(png).read_bytes()).decode()
    return (f'<figure><img src="data:image/png;base64,{data}" alt="{_e(alt)}">'
            f"<figcaption>{caption}</figcaption></figure>")


def grid_rows(study):
    """One row per grid point: its folder, every parameter and the ratio."""
    return [{"grid point": point.name, **{n: tables.cell(point.parameters[n]) for n in study_file.PARAMETERS},
             "ratio": "own" if point.ratio is True else tables.cell(point.ratio),
             "replicates": str(study["replicates"])} for point in study_file.grid(study)]


def point_text(point):
    """A grid point as a reader says it: "nrec = 500, h² = 0.3"."""
    return study_file.swept_text(point.swept) or "the base parameters"


def method_rows(study):
    """One row per method: its label, estimator and settings."""
    names = {study_methods.SNPBLUP: "SNP-BLUP (kolber)", "bayescpi": "BayesCπ (snpbayes)",
             "bayesr": "BayesR (snpbayes)", "brr": "Bayesian ridge regression (snpbayes)"}
    rows = []
    for method in study_methods.of(study):
        settings = {k: v for k, v in method.settings.items() if k != "label"}
        if not method.sampler:
            settings.setdefault("ratio", "swept")
        text = ", ".join(f"{k} {study_file.value_label(v) if k == 'ratio' else tables.cell(v)}"
                         for k, v in settings.items())
        rows.append({"label": method.label, "estimator": names[method.name], "settings": text})
    return rows


def _short(row, column):
    return _e(f"{float(row[column]):.3f}") if row.get(column) not in ("", None) else "–"


def accuracy_caption(study):
    sweep = list(study["sweep"])
    x = study_file.LABELS[sweep[0]] if sweep else "the base parameters"
    panels = f", one panel per value of {', '.join(sweep[1:])}" if len(sweep) > 1 else ""
    many = len(study["methods"]) > 1
    return (f"Accuracy of genomic prediction, corr(s_bv, g_bv), against {_e(x)}"
            f"{', one colour per method' if many else ''}{_e(panels)}: the independent set's mean ± 2 standard "
            "errors (line) and each replicate (dots, each method's set slightly apart), the training set's mean "
            "(triangles, dotted), and in grey the accuracies expected of SNP-BLUP from Daetwyler et al. (2008) "
            "(dashed) and of ridge regression at the true variance ratio (dash-dotted)."
            + (" Every method ran on the same replicates, so the paired differences below compare them far more "
               "precisely than these error bars suggest." if many else ""))


def differences_caption(study):
    base = tables.reference(study).label
    return (f"Each method's independent-set accuracy minus {_e(base)}'s on the same replicate: the mean of the "
            "paired differences ± 2 standard errors (the standard deviation of the differences / √n, about a 95 % "
            "interval) and each replicate's difference (dots). Above the zero line the method predicted better; "
            "an interval clear of zero is a difference the replicates establish.")


def replicate_caption(point, rows):
    """`rows`: the replicate's rows of replicates.tsv, one per method."""
    first = rows[0]
    many = len(rows) > 1
    slopes = "; ".join(f"{_e(r['method'])}: slope_train {_short(r, 'slope_train')}, slope_indep "
                       f"{_short(r, 'slope_indep')}, acc_effects {_short(r, 'acc_effects')}" for r in rows)
    ratio = f", ratio {_e(first['ratio'])}" if first.get("ratio") else ""
    return (f"Replicate 1 at {_e(point_text(point))} (<code>{_e(first['dir'])}</code>, warm-up count "
            f"{_e(first['warmup'])}{ratio}). {'For each method (a column): ' if many else ''}simulated (s_bv) "
            "against genomic breeding values (g_bv) of the training and the independent set, each centred on its "
            "set's mean (s_bv counts copies − 1 of every allele, so its mean is Σ(2p − 1)·effect, while the "
            "estimated overall mean takes up the level of g_bv), with the 1:1 line over the range both share and "
            "the regression of s_bv on g_bv (slope 1: unbiased prediction); and the estimated against the "
            f"simulated SNP effects with the 1:1 line, whose correlation is acc_effects. {slopes}.")


def reading_order(study, header, many):
    """A table's columns as the report shows them: with several methods the
    method right after the swept keys, so each row says at once whose it is."""
    if not many:
        return header
    rest = [c for c in header if c != "method"]
    at = len(tables.swept_columns(study))
    return rest[:at] + ["method"] + rest[at:]


def build_columns(replicates):
    return list(tables.BUILD_COLUMNS) + [c for c in tables.SNPBAYES_COLUMNS if c in replicates[0]]


def build_rows(replicates):
    """Each distinct build of the programs and how many rows it made."""
    columns = build_columns(replicates)
    builds = Counter(tuple(r.get(c, "") for c in columns) for r in replicates)
    return [{"rows": str(n), **dict(zip(columns, b))} for b, n in builds.items()]


def page(study, study_name, files):
    """The report's HTML; `files` maps the inputs' names (summary.tsv,
    replicates.tsv, differences.tsv, accuracy.png, differences.png) to their
    paths and each grid point's name to its replicate figure."""
    points = study_file.grid(study)
    summary, replicates = tables.read_tsv(files["summary.tsv"]), tables.read_tsv(files["replicates.tsv"])
    first = {}
    for r in replicates:
        if r["replicate"] == "1":
            first.setdefault(r["dir"], []).append(r)
    many = "differences.tsv" in files
    labels = [m.label for m in study_methods.of(study)]
    runs = f"{len(replicates)} runs of {', '.join(labels)}" if many else f"{len(replicates)} runs of tarvox and kolber"
    parts = [f"<h1>Study report: {_e(study_name)}</h1>",
             f"<p>{len(points)} grid point{'s' if len(points) > 1 else ''} × {study['replicates']} replicates"
             f"{f' × {len(labels)} methods' if many else ''} = {runs}. Made "
             f"{datetime.datetime.now():%Y-%m-%d %H:%M} on {_e(platform.node())}.</p>",
             "<ul>" + "".join(f'<li><a href="#{a}">{_e(t)}</a></li>' for a, t in SECTIONS
                              if many or a != "differences") + "</ul>",
             '<h2 id="study">The study</h2>',
             f"<p>From <code>{_e(study_name)}</code>, with the defaults filled in:</p>",
             f"<pre>{_e(yaml.safe_dump({k: study[k] for k in study_file.TOP_KEYS}, sort_keys=False))}</pre>",
             '<h2 id="grid">The grid</h2>',
             "<p>Every combination of the swept values; each grid point's replicates are in "
             "<code>runs/GRID_POINT/rep_NNN</code>. Replicate r starts the simulator at the same warm-up count at "
             "every grid point (common random numbers).</p>",
             table_html(["grid point", *study_file.PARAMETERS, "ratio", "replicates"], grid_rows(study),
                        text_columns=("grid point",)),
             '<h2 id="methods">The methods</h2>',
             "<p>Every method runs on every replicate's SNP_data: SNP-BLUP in the replicate's own job, each sampler "
             "in a job of its own that makes the replicate's SNP_data again, bit for bit (its SHA-256 checked "
             "against the replicate's), in <code>runs/GRID_POINT/rep_NNN/LABEL/</code>. A sampler's seed is the "
             "first 8 bytes of SHA-256(\"LABEL:REPLICATE\"), the same at every grid point.</p>",
             table_html(["label", "estimator", "settings"], method_rows(study), text_columns=("label", "estimator",
                                                                                              "settings")),
             '<h2 id="accuracy">Accuracy</h2>',
             image_html(files["accuracy.png"], "accuracy against the first swept parameter", accuracy_caption(study))]
    if many:
        differences = tables.read_tsv(files["differences.tsv"])
        parts += ['<h2 id="differences">Paired differences</h2>',
                  image_html(files["differences.png"], "paired differences in accuracy", differences_caption(study)),
                  "<p><code>differences.tsv</code>: per grid point and method, the mean and standard error of the "
                  "paired differences method − reference of acc_indep and slope_indep, the replicates where the "
                  "method was better and where the two tied.</p>",
                  table_html(list(differences[0]), differences, text_columns=("method", "reference"))]
    parts += ['<h2 id="summary">summary.tsv</h2>',
              f"<p>One row per grid point{' and method' if many else ''}: the mean and standard error (sd / √n) of "
              "each statistic over the replicates, and SNP-BLUP's expected accuracies.</p>",
              table_html(reading_order(study, list(summary[0]), many), summary, text_columns=("method",)),
              '<h2 id="replicates">Replicate 1 of each grid point</h2>']
    for point in points:
        parts.append(image_html(files[point.name], f"replicate 1 at {point.name}",
                                replicate_caption(point, first[study_file.run_folder(point, 1)])))
    parts += ['<h2 id="table">replicates.tsv</h2>',
              f"<p>{len(replicates)} rows, one per replicate{' and method' if many else ''} (scroll within the "
              "table).</p>",
              table_html(reading_order(study, list(replicates[0]), many), replicates,
                         text_columns=("dir", "commit", "method")),
              '<h2 id="provenance">The programs\' builds</h2>',
              "<p>The commit the programs were built from (modified: whether tracked files differed from it) and "
              "the SHA-256 digest of each program, with the number of rows of replicates.tsv each build made. An "
              "empty commit: the programs were not built by the workflow.</p>",
              table_html(["rows", *build_columns(replicates)], build_rows(replicates),
                         text_columns=build_columns(replicates))]
    body = "\n".join(parts)
    return (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f"<title>Study report: {_e(study_name)}</title>\n<style>{STYLE}</style>\n</head>\n"
            f"<body>\n{body}\n</body>\n</html>\n")


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__.split("\n\n")[1])
    study, name, out, *paths = argv
    study = json.loads(study)
    files = {Path(p).stem if Path(p).parent.name == "replicate_001" else Path(p).name: p for p in paths}
    missing = [point.name for point in study_file.grid(study) if point.name not in files]
    if missing:
        sys.exit(f"no replicate figure for the grid points {', '.join(missing)}")
    Path(out).write_text(page(study, name, files))


if __name__ == "__main__":
    main(sys.argv[1:])
