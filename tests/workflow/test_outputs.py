import math
import subprocess
from pathlib import Path

import pytest
import yaml

import outputs

REPO = Path(__file__).resolve().parents[2]
SCRIPT = REPO / "workflow" / "scripts" / "outputs.py"

CONSOLE = "\r\n".join([
    "Program KOLBER 1.1 (Halvenor, QRT)", " variance ratio?", " Read 100 records with 50 SNP effects", " read",
    " diags", " 5 elements of XPX:   100.0  48.0  77.0  60.0  73.0", "",
    "Iteration started at     0.00 seconds",
    "convergence of {crit} reached in   {rounds} rounds and .03 seconds", "", "",
    "Results for training data set",
    "                    y           simulated_bv     genomic_bv",
    " mean               5.97          -3.87          -1.26",
    " var               21.86           9.38           7.57",
    " corr(s_bv,g_bv):0.812", "", "",
    "Results for independent data set",
    "                    y           simulated_bv     genomic_bv",
    " mean               6.10          -4.17            NaN",
    " var               21.68          11.19           0.00",
    " corr(s_bv,g_bv):{corr}", "", "Finished in     1.25 seconds", ""])


@pytest.mark.parametrize("crit, rounds, corr, want_crit, want_corr", [
    ("0.53E-14", "  25", "0.674", 0.53e-14, 0.674),
    ("0.10-119", " 111", "-.123", 0.10e-119, -0.123),
    ("     NaN", "   1", "  NaN", math.nan, math.nan),
    ("0.53E-14", "   3", "*****", 0.53e-14, math.nan),
])
def test_console_figures(crit, rounds, corr, want_crit, want_corr):
    found = outputs.read_console(CONSOLE.format(crit=crit, rounds=rounds, corr=corr))
    assert found["rounds"] == int(rounds)
    assert found["crit"] == pytest.approx(want_crit, nan_ok=True)
    assert found["acc_train"] == 0.812
    assert found["acc_indep"] == pytest.approx(want_corr, nan_ok=True)
    assert found["means_train"] == [5.97, -3.87, -1.26] and found["vars_indep"] == [21.68, 11.19, 0.0]
    assert math.isnan(found["means_indep"][2])
    assert found["kolber_seconds"] == 1.25 and found["solve_s"] == 0.03


def test_console_without_the_statistics_is_refused():
    with pytest.raises(ValueError, match="independent set"):
        outputs.read_console(CONSOLE.format(crit="0.5E-14", rounds="  2", corr="0.5").split("Results for indep")[0])


def write(path, lines):
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode())
    return path


def test_setup_file_with_a_partial_last_line_and_a_field_of_asterisks(tmp_path):
    freq = [" 0.35 0.11 0.34 0.16 0.24 0.10 0.26 0.13 0.25 0.06", " 0.36 0.45"]
    vals = ["    3.36    2.60   -2.01    0.00    0.00    0.00    0.00    0.00    0.00    0.00", "    0.00********"]
    setup = outputs.read_setup(write(tmp_path / "SNP_setup", [
        " n_snp  n_qtl nrec nprog nrec", "      12       3     100       5     100", " var_a,var_e, sim_var ",
        "     10.00  12345.67**********", " snp_freq", *freq, " snp_val", *vals]))
    assert (setup.n_snp, setup.n_qtl, setup.nrec, setup.nprog) == (12, 3, 100, 5)
    assert (setup.var_a, setup.var_e) == (10.0, 12345.67) and math.isnan(setup.sim_var)
    assert setup.snp_freq[9:] == [0.06, 0.36, 0.45]
    assert setup.snp_val[:3] == [3.36, 2.60, -2.01] and math.isnan(setup.snp_val[11])


def test_results_file_splits_the_two_sets(tmp_path):
    results = outputs.read_results(write(tmp_path / "SNP_results", [
        " Estimated mean:       7.23", "Simulated and estimated genomic values",
        "     1      3.36      2.25", "     2      0.00     -0.22", "", "", "Simulated and estimated breeding values",
        "     1      2.25      2.76", "     2     -7.25     -1.48", "     1      1.00      0.50",
        "     2     -1.00**********"]), nrec=2)
    assert results.mean == 7.23
    assert results.snp_val == [3.36, 0.0] and results.snp_sol == [2.25, -0.22]
    assert results.train == ((2.25, -7.25), (2.76, -1.48))
    assert results.indep[0] == (1.0, -1.0) and math.isnan(results.indep[1][1])
    with pytest.raises(ValueError, match="6 breeding values expected"):
        outputs.read_results(tmp_path / "SNP_results", nrec=3)


@pytest.mark.parametrize("y, x, slope, corr", [
    ([2.0, 4.0, 6.0], [1.0, 2.0, 3.0], 2.0, 1.0),
    ([3.0, 1.0, 2.0], [1.0, 2.0, 3.0], -0.5, -0.5),
    ([1.0, 2.0, 3.0], [5.0, 5.0, 5.0], math.nan, math.nan),  # constant genomic values
])
def test_slope_and_correlation(y, x, slope, corr):
    assert outputs.slope(y, x) == pytest.approx(slope, nan_ok=True)
    assert outputs.correlation(x, y) == pytest.approx(corr, nan_ok=True)


def test_variance_has_divisor_n():
    assert outputs.variance([1.0, 2.0, 3.0]) == pytest.approx(2 / 3)


def test_study_limits_follow_the_layout():
    schema = yaml.safe_load((REPO / "workflow" / "schemas" / "config.schema.yaml").read_text())
    parameters = schema["definitions"]["parameters"]
    assert parameters["nrec"]["maximum"] == outputs.MAX_NREC == 499999
    assert parameters["n_snp"]["maximum"] == outputs.MAX_SNPS
    assert outputs.MAX_RECORDS == 10**outputs.RECORD_NUMBER_WIDTH - 1


@pytest.mark.parametrize("n_snp, lines, chars", [(0, 1, 23), (1, 1, 26), (10, 1, 44), (11, 2, 46), (10000, 1000, 20024)])
def test_section_lines_and_record_chars(n_snp, lines, chars):
    assert outputs.section_lines(n_snp) == lines
    assert outputs.record_chars(n_snp) == chars


def test_the_commands_answer_the_benchmark(tmp_path):
    setup = write(tmp_path / "SNP_setup", [
        " n_snp  n_qtl nrec nprog nrec", "       3       1      10       0      10", " var_a,var_e, sim_var ",
        "     40.00     93.331951011.00", " snp_freq", " 0.10 0.50 0.25", " snp_val", "    1.00    2.00    3.00"])
    run = lambda *args: subprocess.run(["/usr/bin/python3", str(SCRIPT), *args], capture_output=True, text=True,
                                       check=True).stdout
    # var_e is the 10 columns before sim_var, which touches it.
    assert run("own-ratio", str(setup), "1") == f"{93.33 * (0.18 + 0.5 + 0.375) / 40:.1f}\n"
    assert run("record-chars", "50000") == "100024\n"
    assert run("facts", "snp").splitlines()[:2] == ["setup_values_per_line 10", "count_width 8"]
    assert run("facts", "results").splitlines() == ["result_number_width 6", "result_real_width 10",
                                                    "result_decimals 2"]
