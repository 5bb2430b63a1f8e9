import math

import pytest

import methods
import study
import tables
from conftest import TINY_BASE


@pytest.mark.parametrize("value, text", [
    (None, ""), (3, "3"), (True, "true"), (0.5, "0.5"), (0.395, "0.395"), (-2.0, "-2"), (5.3e-15, "5.3e-15"),
    (1e16, "1e+16"), (math.nan, "NaN"), ("0.97", "0.97"), (0.1234567891, "0.1234567891"),
    # Sums and quotients of printed values: their noise digits go.
    (0.37699999999999995, "0.377"), (0.7807000000000001, "0.7807"), (0.09999999999999999, "0.1"),
    ((0.7 + 0.8 + 0.9) / 3, "0.8"), (0.123456789012345678, "0.123456789012"),
])
def test_every_real_is_written_with_its_digits_and_no_noise(value, text):
    assert tables.cell(value) == text


def test_standard_error_of_one_value_is_empty_and_of_none_both():
    assert tables.mean_and_se([0.7, None]) == (0.7, None)
    assert tables.mean_and_se([None]) == (None, None)
    mean, se = tables.mean_and_se([0.6, 0.7, 0.8])
    assert mean == pytest.approx(0.7) and se == pytest.approx(0.1 / math.sqrt(3))


def record(acc, slope=0.9):
    return {"warmup": 0, "ratio": "12.5", "rounds": 20, "crit": 1e-15, "acc_train": acc + 0.1, "acc_indep": acc,
            "slope_indep": slope, "slope_train": 1.0, "acc_effects": 0.5, "mean_estimated": 10.0,
            "var_gbv_indep": 1.0, "var_sbv_indep": 2.0, "tarvox_s": 0.1, "kolber_s": 0.2, "kolber_cpu_s": 0.1,
            "kolber_seconds": 0.1, "ratio_true": 12.0, "data_sha256": "d1",
            "build": {"commit": "c0ffee", "modified": False, "sha256": {"tarvox": "t1", "kolber": "k1"}}}


def sampler_record(acc, slope=1.0, data="d1"):
    return {"label": "x", "settings": {"method": "bayescpi", "iterations": 300, "burn_in": 60, "thin": 10, "pi": 0.5,
                                       "fix_pi": False, "seed": 77},
            "warmup": 0, "tarvox_s": 0.1, "data_sha256": data, "acc_train": acc + 0.1, "acc_indep": acc,
            "slope_indep": slope, "slope_train": 1.0, "acc_effects": 0.6, "mean_estimated": 9.0, "var_gbv_indep": 1.5,
            "var_sbv_indep": 2.0, "var_e": 5.0, "var_b": 0.5, "pi": 0.9, "snps_in_model": 4.5, "ess_min": 50.0,
            "snpbayes_s": 0.01, "ms_per_iteration": 0.03,
            "build": {"commit": "c0ffee", "modified": False, "sha256": {"tarvox": "t1", "snpbayes": "s1"}}}


def records_of(s, acc):
    """Records of every replicate and method of study `s`; acc(label, r) their accuracy."""
    found = {}
    for p in study.grid(s):
        for r in range(1, s["replicates"] + 1):
            found[p.name, r] = record(acc("snpblup", r))
            for m in methods.of(s):
                if m.sampler:
                    found[p.name, r, m.label] = sampler_record(acc(m.label, r))
    return found


def test_tables_from_records():
    s = study.check({"replicates": 2, "base": dict(TINY_BASE), "sweep": {"nrec": [60, 120], "ratio": [True, 5]}})
    records = {(p.name, r): record(0.5 + 0.1 * r) for p in study.grid(s) for r in (1, 2)}
    del records["nrec=60_ratio=own", 2]["build"]  # a record from before builds were recorded
    header, rows = tables.replicate_rows(s, records)
    assert header[:4] == ["nrec", "ratio_setting", "replicate", "warmup"]
    # The columns of a study of SNP-BLUP alone keep their places; the method's come after.
    assert header[-8:] == ["dir", "commit", "modified", "tarvox_sha256", "kolber_sha256", "snp2plink_sha256",
                           "method", "ratio_true"]
    assert {"acc_indep", "slope_indep", "expected_daetwyler", "expected_ridge"} <= set(header)
    assert [r[:3] for r in rows[:3]] == [[60, True, 1], [60, True, 2], [60, 5, 1]]
    assert rows[0][-8:] == ["runs/nrec=60_ratio=own/rep_001", "c0ffee", False, "t1", "k1", None, "snpblup", 12.0]
    assert rows[1][-7:-2] == [None] * 5
    header, rows = tables.summary_rows(s, records)
    assert header[:7] == ["nrec", "ratio_setting", "n", "acc_indep_mean", "acc_indep_se", "acc_train_mean",
                          "acc_train_se"]
    assert header[-6:] == ["h2_records", "expected_daetwyler", "expected_ridge", "method", "ratio_mean",
                           "ratio_true_mean"]
    row = dict(zip(header, rows[0]))
    assert row["n"] == 2 and row["acc_indep_mean"] == pytest.approx(0.65)
    assert row["acc_indep_se"] == pytest.approx(0.05)
    assert row["expected_daetwyler"] == pytest.approx(math.sqrt(30 / 70))
    assert (row["method"], row["ratio_mean"], row["ratio_true_mean"]) == ("snpblup", 12.5, 12.0)


def test_tables_of_several_methods():
    s = study.check({"replicates": 2, "base": dict(TINY_BASE), "sweep": {"h2": [0.3, 0.6]},
                     "methods": ["snpblup", "bayescpi", {"bayesr": {"label": "r"}}]})
    header, rows = tables.replicate_rows(s, records_of(s, lambda label, r: 0.5 + 0.1 * r))
    row = [dict(zip(header, r)) for r in rows]
    assert [(r["h2"], r["replicate"], r["method"]) for r in row[:4]] == [
        (0.3, 1, "snpblup"), (0.3, 1, "bayescpi"), (0.3, 1, "r"), (0.3, 2, "snpblup")]
    assert header.index("method") > header.index("snp2plink_sha256") and header[-1] == "snpbayes_sha256"
    # Expectations are SNP-BLUP's; a sampler's row has its settings and posterior means, and the replicate's ratio.
    assert row[0]["expected_ridge"] is not None and row[1]["expected_ridge"] is None
    assert (row[1]["seed"], row[1]["iterations"], row[1]["pi"], row[1]["ess_min"], row[1]["ratio_true"]) == (
        77, 300, 0.9, 50.0, 12.0)
    assert (row[1]["ratio"], row[1]["rounds"], row[1]["snpbayes_sha256"]) == (None, None, "s1")
    header, rows = tables.summary_rows(s, records_of(s, lambda label, r: 0.5 + 0.1 * r))
    row = [dict(zip(header, r)) for r in rows]
    assert [(r["h2"], r["method"], r["n"]) for r in row[:3]] == [(0.3, "snpblup", 2), (0.3, "bayescpi", 2),
                                                                 (0.3, "r", 2)]
    assert (row[1]["rounds_mean"], row[1]["ratio_mean"], row[1]["var_e_mean"], row[1]["ess_min_min"]) == (
        None, None, 5.0, 50.0)


def test_a_sampler_whose_data_are_not_its_replicates_is_refused():
    s = study.check({"replicates": 1, "base": dict(TINY_BASE), "methods": ["snpblup", "brr"]})
    records = records_of(s, lambda label, r: 0.5)
    records["base", 1, "brr"]["data_sha256"] = "other"
    with pytest.raises(tables.TableError, match="runs/base/rep_001/brr; run them again"):
        tables.replicate_rows(s, records)
    del records["base", 1]["data_sha256"]  # a replicate of a study that had no sampler: nothing to hold it to
    assert len(tables.replicate_rows(s, records)[1]) == 2


# Accuracies of the reference and of another method in four replicates, and
# what differences.tsv makes of them: mean, se, n, better, ties.
PAIRED = [
    ([0.5, 0.6, 0.7, 0.8], [0.6, 0.7, 0.8, 0.9], (0.1, 0.0, 4, 4, 0)),
    ([0.5, 0.6, 0.7, 0.8], [0.5, 0.8, 0.6, 0.9], (0.05, math.sqrt(0.05 / 3 / 4), 4, 2, 1)),
    ([0.5, math.nan, 0.7, 0.8], [0.4, 0.9, None, 0.9], (0.0, 0.1, 2, 1, 0)),   # pairs with a gap drop out
    ([0.5, 0.5, 0.5, 0.5], [0.5, 0.5, 0.5, 0.5], (0.0, 0.0, 4, 0, 4)),
]


@pytest.mark.parametrize("reference, other, expected", PAIRED)
def test_paired_differences(reference, other, expected):
    mean, se, n, better, ties = tables.paired(other, reference)
    assert (mean, se) == pytest.approx(expected[:2]) and (n, better, ties) == expected[2:]


def test_differences_table_against_snpblup_or_the_first_method():
    s = study.check({"replicates": 3, "base": dict(TINY_BASE), "sweep": {"nrec": [60, 90]},
                     "methods": ["bayesr", "snpblup", "bayescpi"]})
    acc = {"snpblup": [0.5, 0.6, 0.7], "bayescpi": [0.6, 0.6, 0.9], "bayesr": [0.4, 0.65, 0.7]}
    header, rows = tables.difference_rows(s, records_of(s, lambda label, r: acc[label][r - 1]))
    assert header == ["nrec", "method", "reference", "n", "acc_indep_diff_mean", "acc_indep_diff_se", "better",
                      "ties", "slope_indep_diff_mean", "slope_indep_diff_se"]
    assert [r[:4] for r in rows] == [[60, "bayesr", "snpblup", 3], [60, "bayescpi", "snpblup", 3],
                                     [90, "bayesr", "snpblup", 3], [90, "bayescpi", "snpblup", 3]]
    row = dict(zip(header, rows[1]))
    assert row["acc_indep_diff_mean"] == pytest.approx(0.1)
    assert row["acc_indep_diff_se"] == pytest.approx(math.sqrt(0.02 / 2 / 3))
    assert (row["better"], row["ties"]) == (2, 1)
    assert row["slope_indep_diff_mean"] == pytest.approx(0.1) and row["slope_indep_diff_se"] == pytest.approx(0)
    without = study.check({**s, "methods": ["bayesr", "bayescpi"]})
    assert tables.reference(without).label == "bayesr"
    _, rows = tables.difference_rows(without, records_of(without, lambda label, r: acc[label][r - 1]))
    assert [r[1:3] for r in rows] == [["bayescpi", "bayesr"]] * 2


def test_tsv_round_trip(tmp_path):
    tables.write_tsv(tmp_path / "t.tsv", ["a", "b"], [[1, None], [0.5, True]])
    assert (tmp_path / "t.tsv").read_text() == "a\tb\n1\t\n0.5\ttrue\n"
    assert tables.read_tsv(tmp_path / "t.tsv") == [{"a": "1", "b": ""}, {"a": "0.5", "b": "true"}]
