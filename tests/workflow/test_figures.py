"""The figures draw every kind of study a study file can ask for."""

import pytest

import figures
import study
import tables
from conftest import TINY_BASE
from test_tables import records_of


ONE, THREE, NO_SNPBLUP = ["snpblup"], ["snpblup", "bayescpi", "bayesr"], ["brr", "bayescpi"]


@pytest.mark.parametrize("sweep, ticks, study_methods", [
    ({}, ["the base parameters"], ONE),
    ({}, ["the base parameters"], NO_SNPBLUP),
    ({"nrec": [60, 600], "h2": [0.3, 0.6]}, ["60", "600"], ONE),    # a log axis, one panel per h2
    ({"nrec": [60, 600], "h2": [0.3, 0.6]}, ["60", "600"], THREE),
    ({"ratio": [True, 1, 100]}, ["own", "1", "100"], THREE),       # 'own' beside the number 1
    ({"nprog": [0, 10], "freq_max": [0.5], "seed": [1, 2]}, ["0", "10"], NO_SNPBLUP),  # no smooth expectation
    ({"n_qtl": [4, 8], "h2": [0.3, 0.5, 0.7, 0.9]}, ["4", "8"], THREE),  # two rows of panels
])
def test_accuracy_and_differences_figures(tmp_path, sweep, ticks, study_methods):
    s = study.check({"replicates": 3, "base": dict(TINY_BASE), "sweep": sweep, "methods": study_methods})
    records = records_of(s, lambda label, r: 0.5 + 0.05 * r + 0.01 * len(label))
    for name, rows in (("summary", tables.summary_rows), ("replicates", tables.replicate_rows),
                       ("differences", tables.difference_rows)):
        tables.write_tsv(tmp_path / f"{name}.tsv", *rows(s, records))
    read = {name: tables.read_tsv(tmp_path / f"{name}.tsv") for name in ("summary", "replicates", "differences")}
    drawn = figures.accuracy_figure(s, read["summary"], read["replicates"], tmp_path / "a.png", tmp_path / "a.svg")
    assert drawn == ticks
    assert (tmp_path / "a.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert b"<svg" in (tmp_path / "a.svg").read_bytes()[:1000]
    if len(study_methods) > 1:
        figures.differences_figure(s, read["differences"], read["replicates"], tmp_path / "d.png",
                                   tmp_path / "d.svg")
        assert (tmp_path / "d.png").stat().st_size > 1000


def test_axis_sets_series_apart_and_says_when_it_is_logarithmic():
    log = figures.Axis(study.check({"replicates": 1, "base": dict(TINY_BASE), "sweep": {"nrec": [60, 600]}}))
    assert log.log and [log.dodge(600, i, 3) for i in range(3)] == pytest.approx(
        [600 / figures.DODGE_FACTOR, 600, 600 * figures.DODGE_FACTOR])
    linear = figures.Axis(study.check({"replicates": 1, "base": dict(TINY_BASE), "sweep": {"h2": [0.2, 0.6]}}))
    assert not linear.log and linear.dodge(0.6, 0, 2) == pytest.approx(0.6 - 0.5 * figures.DODGE_SHARE * 0.4)
    assert list(log.panels) == [()] and len(figures.Axis(study.check(
        {"replicates": 1, "base": dict(TINY_BASE), "sweep": {"nrec": [60], "h2": [0.3, 0.6]}})).panels) == 2


SETUP = (" n_snp  n_qtl nrec nprog nrec\n       1       1       2       0       2\n"
         " var_a,var_e, sim_var \n      1.00      1.00      1.00\n snp_freq\n 0.50\n snp_val\n    1.00\n")
RESULTS = (" Estimated mean:       1.00\nSimulated and estimated genomic values\n     1      1.00      0.00\n\n\n"
           "Simulated and estimated breeding values\n"
           + "".join(f"{i:6d}{v:10.2f}{0:10.2f}\n" for i, v in ((1, 1), (2, -1)) * 2))
GBV = "set\trecord\ty\ts_bv\tg_bv\n" + "".join(f"{s}\t{i}\t1\t{v}\t{v / 2}\n" for s, i, v in (
    ("train", 1, 1), ("train", 2, -1), ("indep", 3, 2), ("indep", 4, 0)))
EFFECTS = "snp\tsim_effect\teffect\tsd\tp_nonzero\n1\t1\t0.8\t0.1\t1\n"


@pytest.mark.parametrize("study_methods", [["snpblup"], ["snpblup", "bayescpi"], ["bayescpi"]])
def test_replicate_figure_with_constant_genomic_values(tmp_path, study_methods):
    s = study.check({"replicates": 1, "base": dict(TINY_BASE), "methods": study_methods})
    (tmp_path / "SNP_setup").write_text(SETUP)
    (tmp_path / "SNP_results").write_text(RESULTS)  # kolber's g_bv are all 0
    (tmp_path / "bayescpi").mkdir()
    (tmp_path / "bayescpi" / "bayescpi.gbv").write_text(GBV)
    (tmp_path / "bayescpi" / "bayescpi.effects").write_text(EFFECTS)
    figures.replicate_figure(s, tmp_path, figures.replicate_title(study.grid(s)[0]), tmp_path / "r.png")
    assert (tmp_path / "r.png").stat().st_size > 1000
