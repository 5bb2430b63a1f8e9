import math

import pytest

import theory
from outputs import SnpSetup


@pytest.mark.parametrize("n, m, h2, daetwyler, ridge", [
    (2000, 1000, 0.5, 0.7071067811865476, 0.7653668647301795),
    (1000, 1000, 1.0, math.sqrt(0.5), 1.0),         # g = 1, no noise: ridge recovers everything
    (1000, 2000, 1.0, math.sqrt(1 / 3), math.sqrt(0.5)),  # g > 1, no noise: r^2 = 1 / g
    (100, 10000, 0.3, math.sqrt(30 / 10030), 0.05471478376822072),
])
def test_expected_accuracies(n, m, h2, daetwyler, ridge):
    assert theory.expected_daetwyler(n, m, h2) == pytest.approx(daetwyler, rel=1e-12)
    assert theory.expected_ridge(n, m, h2) == pytest.approx(ridge, rel=1e-12)


def test_ridge_is_smooth_where_its_two_forms_meet():
    # b = 1 - g + z changes sign at g = 1 + z; the two forms must agree there.
    h2 = 0.5
    left = theory.expected_ridge(1000, 1999.999, h2)
    right = theory.expected_ridge(1000, 2000.001, h2)
    assert left == pytest.approx(right, rel=1e-5)


def test_ridge_approaches_one_with_many_records():
    assert theory.expected_ridge(1e12, 10, 0.3) == pytest.approx(1.0, abs=1e-9)


@pytest.mark.parametrize("nprog, expected", [
    (0, 0.25),
    # var_e = 0.75 * 4 / 0.25 = 12, w = (48 + 12) / 20 = 3, h2 of a mean = 4 / 7
    (20, 4 / 7),
])
def test_heritability_of_records(nprog, expected):
    assert theory.record_heritability({"h2": 0.25, "var_a": 4.0, "nprog": nprog}) == pytest.approx(expected)


@pytest.mark.parametrize("nprog, w", [(0, 6.0), (10, (24.0 + 6.0) / 10)])
def test_own_ratio_uses_the_files_values(nprog, w):
    setup = SnpSetup(n_snp=3, n_qtl=1, nrec=10, nprog=nprog, var_a=2.0, var_e=6.0, sim_var=1.0,
                     snp_freq=[0.5, 0.1, 0.0], snp_val=[1.0, 0.0, 0.0])
    assert theory.own_ratio(setup) == pytest.approx(w * (0.5 + 0.18) / 2.0)
