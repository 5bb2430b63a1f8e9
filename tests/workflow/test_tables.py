import math

import pytest

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


def test_standard_error_of_one_value_is_empty():
    assert tables.mean_and_se([0.7]) == (0.7, None)
    mean, se = tables.mean_and_se([0.6, 0.7, 0.8])
    assert mean == pytest.approx(0.7) and se == pytest.approx(0.1 / math.sqrt(3))


def record(acc):
    return {"warmup": 0, "ratio": "12.5", "rounds": 20, "crit": 1e-15, "acc_train": acc + 0.1, "acc_indep": acc,
            "slope_indep": 0.9, "slope_train": 1.0, "acc_effects": 0.5, "mean_estimated": 10.0,
            "var_gbv_indep": 1.0, "var_sbv_indep": 2.0, "tarvox_s": 0.1, "kolber_s": 0.2, "kolber_cpu_s": 0.1,
            "kolber_seconds": 0.1,
            "build": {"commit": "c0ffee", "modified": False, "sha256": {"tarvox": "t1", "kolber": "k1"}}}


def test_tables_from_records():
    s = study.check({"replicates": 2, "base": dict(TINY_BASE), "sweep": {"nrec": [60, 120], "ratio": [True, 5]}})
    records = {(p.name, r): record(0.5 + 0.1 * r) for p in study.grid(s) for r in (1, 2)}
    del records["nrec=60_ratio=own", 2]["build"]  # a record from before builds were recorded
    header, rows = tables.replicate_rows(s, records)
    assert header[:4] == ["nrec", "ratio_setting", "replicate", "warmup"]
    assert header[-6:] == ["dir", "commit", "modified", "tarvox_sha256", "kolber_sha256", "snp2plink_sha256"]
    assert {"acc_indep", "slope_indep", "expected_daetwyler", "expected_ridge"} <= set(header)
    assert [r[:3] for r in rows[:3]] == [[60, True, 1], [60, True, 2], [60, 5, 1]]
    assert rows[0][-6:] == ["runs/nrec=60_ratio=own/rep_001", "c0ffee", False, "t1", "k1", None]
    assert rows[1][-5:] == [None] * 5
    header, rows = tables.summary_rows(s, records)
    assert header[:7] == ["nrec", "ratio_setting", "n", "acc_indep_mean", "acc_indep_se", "acc_train_mean",
                          "acc_train_se"]
    row = dict(zip(header, rows[0]))
    assert row["n"] == 2 and row["acc_indep_mean"] == pytest.approx(0.65)
    assert row["acc_indep_se"] == pytest.approx(0.05)
    assert row["expected_daetwyler"] == pytest.approx(math.sqrt(30 / 70))


def test_tsv_round_trip(tmp_path):
    tables.write_tsv(tmp_path / "t.tsv", ["a", "b"], [[1, None], [0.5, True]])
    assert (tmp_path / "t.tsv").read_text() == "a\tb\n1\t\n0.5\ttrue\n"
    assert tables.read_tsv(tmp_path / "t.tsv") == [{"a": "1", "b": ""}, {"a": "0.5", "b": "true"}]
