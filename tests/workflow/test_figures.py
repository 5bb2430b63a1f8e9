"""The figures draw every kind of study a study file can ask for."""

import pytest

import figures
import study
import tables
from conftest import TINY_BASE
from test_tables import record


@pytest.mark.parametrize("sweep, ticks", [
    ({}, None),
    ({"nrec": [60, 600], "h2": [0.3, 0.6]}, ["60", "600"]),       # a log axis, one colour per h2
    ({"ratio": [True, 1, 100]}, ["own", "1", "100"]),            # 'own' beside the number 1
    ({"nprog": [0, 10], "freq_max": [0.5], "seed": [1, 2]}, ["0", "10"]),  # no smooth expectation
])
def test_accuracy_figure(tmp_path, sweep, ticks):
    s = study.check({"replicates": 3, "base": dict(TINY_BASE), "sweep": sweep})
    records = {(p.name, r): record(0.5 + 0.05 * r) for p in study.grid(s) for r in (1, 2, 3)}
    tables.write_tsv(tmp_path / "summary.tsv", *tables.summary_rows(s, records))
    tables.write_tsv(tmp_path / "replicates.tsv", *tables.replicate_rows(s, records))
    drawn = figures.accuracy_figure(s, tables.read_tsv(tmp_path / "summary.tsv"),
                                    tables.read_tsv(tmp_path / "replicates.tsv"), tmp_path / "a.png", tmp_path / "a.svg")
    if ticks:
        assert drawn == ticks
    assert (tmp_path / "a.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert b"<svg" in (tmp_path / "a.svg").read_bytes()[:1000]


def test_replicate_figure_with_constant_genomic_values(tmp_path):
    (tmp_path / "SNP_setup").write_text(" n_snp  n_qtl nrec nprog nrec\n       1       1       2       0       2\n"
                                        " var_a,var_e, sim_var \n      1.00      1.00      1.00\n snp_freq\n 0.50\n"
                                        " snp_val\n    1.00\n")
    (tmp_path / "SNP_results").write_text(" Estimated mean:       1.00\nSimulated and estimated genomic values\n"
                                          "     1      1.00      0.00\n\n\nSimulated and estimated breeding values\n"
                                          + "".join(f"{i:6d}{v:10.2f}{0:10.2f}\n" for i, v in ((1, 1), (2, -1)) * 2))
    figures.replicate_figure(tmp_path / "SNP_setup", tmp_path / "SNP_results", "base, replicate 1", tmp_path / "r.png")
    assert (tmp_path / "r.png").stat().st_size > 1000
