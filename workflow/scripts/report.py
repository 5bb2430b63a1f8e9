"""The study's report: one self-contained HTML file that any browser shows
offline, with no scripts: the study as run, its grid, both tables, the figures
inline with captions, and the builds of the programs that made the replicates.

    python3 -E workflow/scripts/report.py STUDY_JSON STUDY_NAME SUMMARY_TSV REPLICATES_TSV ACCURACY_PNG HTML PNG...
(one PNG per grid point, named after it).
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
SECTIONS = (("study", "The study"), ("grid", "The grid"), ("accuracy", "Accuracy"), ("summary", "summary.tsv"),
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
    """A grid point as a reader says it: "nrec = 500, h2 = 0.3"."""
    return ", ".join(f"{k} = {study_file.value_label(v)}" for k, v in point.swept.items()) or "the base parameters"


def accuracy_caption(study):
    sweep = list(study["sweep"])
    x = study_file.LABELS[sweep[0]] if sweep else "the replicate number"
    colours = f", one colour per value of {', '.join(sweep[1:])}" if len(sweep) > 1 else ""
    return (f"Accuracy of genomic prediction, corr(s_bv, g_bv), against {_e(x)}{_e(colours)}: the independent "
            "set's mean ± 2 standard errors (line) and each replicate (dots), the training set's mean (triangles, "
            "dotted) and the accuracies expected from Daetwyler et al. (2008) (dashed) and for ridge regression at "
            "the true variance ratio (dash-dotted).")


def replicate_caption(point, row):
    def short(column):
        return _e(f"{float(row[column]):.3f}")

    return (f"Replicate 1 at {_e(point_text(point))} (<code>{_e(row['dir'])}</code>, warm-up count "
            f"{_e(row['warmup'])}, ratio {_e(row['ratio'])}). Left and middle: simulated (s_bv) against genomic "
            f"breeding values (g_bv) of the training and the independent set, with the 1:1 line and the regression "
            f"of s_bv on g_bv, whose slope is slope_train = {short('slope_train')} and slope_indep = "
            f"{short('slope_indep')} (1: unbiased prediction). Right: estimated against simulated SNP effects "
            f"(their correlation is acc_effects = {short('acc_effects')}).")


def build_rows(replicates):
    """Each distinct build of the programs and how many replicates it made."""
    builds = Counter(tuple(r.get(c, "") for c in tables.BUILD_COLUMNS) for r in replicates)
    return [{"replicates": str(n), **dict(zip(tables.BUILD_COLUMNS, b))} for b, n in builds.items()]


def page(study, study_name, summary, replicates, accuracy_png, replicate_pngs):
    """The report's HTML; `summary` and `replicates` are the tables' rows as
    read_tsv gives them, `replicate_pngs` maps grid point names to figures."""
    points = study_file.grid(study)
    first = {r["dir"]: r for r in replicates if r["replicate"] == "1"}
    parts = [f"<h1>Study report: {_e(study_name)}</h1>",
             f"<p>{len(points)} grid point{'s' if len(points) > 1 else ''} × {study['replicates']} replicates = "
             f"{len(replicates)} runs of tarvox and kolber. Made {datetime.datetime.now():%Y-%m-%d %H:%M} on "
             f"{_e(platform.node())}.</p>",
             "<ul>" + "".join(f'<li><a href="#{a}">{_e(t)}</a></li>' for a, t in SECTIONS) + "</ul>",
             '<h2 id="study">The study</h2>',
             f"<p>From <code>{_e(study_name)}</code>, with the defaults filled in:</p>",
             f"<pre>{_e(yaml.safe_dump({k: study[k] for k in study_file.TOP_KEYS}, sort_keys=False))}</pre>",
             '<h2 id="grid">The grid</h2>',
             "<p>Every combination of the swept values; each grid point's replicates are in "
             "<code>runs/GRID_POINT/rep_NNN</code>. Replicate r starts the simulator at the same warm-up count at "
             "every grid point (common random numbers).</p>",
             table_html(["grid point", *study_file.PARAMETERS, "ratio", "replicates"], grid_rows(study),
                        text_columns=("grid point",)),
             '<h2 id="accuracy">Accuracy</h2>',
             image_html(accuracy_png, "accuracy against the first swept parameter", accuracy_caption(study)),
             '<h2 id="summary">summary.tsv</h2>',
             "<p>One row per grid point: the mean and standard error (sd / √n) of each statistic over the "
             "replicates, and the expected accuracies.</p>",
             table_html(list(summary[0]), summary),
             '<h2 id="replicates">Replicate 1 of each grid point</h2>']
    for point in points:
        row = first[study_file.run_folder(point, 1)]
        parts.append(image_html(replicate_pngs[point.name], f"replicate 1 at {point.name}",
                                replicate_caption(point, row)))
    parts += ['<h2 id="table">replicates.tsv</h2>',
              f"<p>{len(replicates)} rows, one per replicate (scroll within the table).</p>",
              table_html(list(replicates[0]), replicates, text_columns=("dir", "commit")),
              '<h2 id="provenance">The programs\' builds</h2>',
              "<p>The commit the programs were built from (modified: whether tracked files differed from it) and "
              "the SHA-256 digest of each program, with the number of replicates each build made. An empty commit: "
              "the programs were not built by the workflow.</p>",
              table_html(["replicates", *tables.BUILD_COLUMNS], build_rows(replicates),
                         text_columns=tables.BUILD_COLUMNS)]
    body = "\n".join(parts)
    return (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f"<title>Study report: {_e(study_name)}</title>\n<style>{STYLE}</style>\n</head>\n"
            f"<body>\n{body}\n</body>\n</html>\n")


def main(argv):
    if len(argv) < 7:
        sys.exit(__doc__.split("\n\n")[1])
    study, name, summary, replicates, accuracy, out, *pngs = argv
    study = json.loads(study)
    figures = {Path(png).stem: png for png in pngs}
    missing = [point.name for point in study_file.grid(study) if point.name not in figures]
    if missing:
        sys.exit(f"no replicate figure for the grid points {', '.join(missing)}")
    text = page(study, name, tables.read_tsv(summary), tables.read_tsv(replicates), accuracy, figures)
    Path(out).write_text(text)


if __name__ == "__main__":
    main(sys.argv[1:])
