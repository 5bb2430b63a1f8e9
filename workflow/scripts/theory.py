"""The variance ratio a study answers and the accuracies theory expects."""

import math


def residual_of_records(var_a, var_e, nprog):
    """Residual variance w of one record: var_e for own records, that of a
    mean of nprog progeny otherwise."""
    return var_e if nprog == 0 else (4 * var_e + 3 * var_a) / nprog


def own_ratio(setup):
    """The simulation's own variance ratio w * sum 2p(1 - p) / var_a, from the
    values of a SnpSetup as the file holds them; NaN when var_a reads as 0
    or not at all."""
    if not setup.var_a > 0:
        return math.nan
    w = residual_of_records(setup.var_a, setup.var_e, setup.nprog)
    heterozygosity = sum(2 * p * (1 - p) for p in setup.snp_freq)
    return w * heterozygosity / setup.var_a


def record_heritability(parameters):
    """Heritability of the records: h2 for own records; var_a / (var_a + w)
    for progeny means, with var_e = (1 - h2) var_a / h2."""
    h2, var_a, nprog = parameters["h2"], parameters["var_a"], parameters["nprog"]
    if nprog == 0:
        return h2
    var_e = (1 - h2) * var_a / h2
    return var_a / (var_a + residual_of_records(var_a, var_e, nprog))


def expected_daetwyler(n, m, h2):
    """Accuracy expected from n records and m SNPs: sqrt(n h2 / (n h2 + m))."""
    return math.sqrt(n * h2 / (n * h2 + m))


def expected_ridge(n, m, h2):
    """Large-sample accuracy of ridge regression at the true ratio, with
    g = m / n and z = g (1 - h2) / h2:
    r^2 = 1 - [sqrt((1 - g + z)^2 + 4 g z) - (1 - g + z)] / (2 g)."""
    g = m / n
    z = g * (1 - h2) / h2
    b = 1 - g + z
    root = math.sqrt(b * b + 4 * g * z)
    # The same quotient, each form free of cancellation on its side of b = 0.
    shrink = 2 * z / (root + b) if b > 0 else (root - b) / (2 * g)
    return math.sqrt(1 - shrink)


def expected(parameters):
    """Both expectations for one parameter set: (Daetwyler, ridge)."""
    n, m, h2 = parameters["nrec"], parameters["n_snp"], record_heritability(parameters)
    return expected_daetwyler(n, m, h2), expected_ridge(n, m, h2)
