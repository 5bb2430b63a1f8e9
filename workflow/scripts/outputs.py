"""Reading what the two programs leave: SNP_setup, SNP_results and the
estimator's console. The only Python that knows the SNP file layouts.

Run as a script it answers the benchmark and the tests:
    python3 outputs.py facts snp|results      the layout facts of SNP_setup and SNP_data, or
                                              of SNP_results, one "name value" a line
    python3 outputs.py record-chars N_SNP     characters of one SNP_data line of N_SNP SNPs
    python3 outputs.py own-ratio SNP_SETUP [DECIMALS]
                                              the simulation's own variance ratio
"""

import math
import re
import sys
from collections import namedtuple  # loaded with re already; dataclasses would double a replicate job's start


# The layouts of SNP_setup and SNP_data as common/snp_files.hpp owns them; a
# C++ test compares these with its own (python3 outputs.py facts).
SETUP_VALUES_PER_LINE = 10  # every section of SNP_setup
COUNT_WIDTH = 8             # I8: n_snp n_qtl nrec nprog nrec
COUNTS_WRITTEN = 5
VARIANCE_WIDTH = 10         # F10.2: var_a var_e sim_var
FREQUENCY_WIDTH = 5         # F5.2
EFFECT_WIDTH = 8            # F8.2
SETUP_DECIMALS = 2
RECORD_NUMBER_WIDTH = 6     # SNP_data: I6, 1X, 2F8.2, 1X, the allele digits
RECORD_REAL_WIDTH = 8
RECORD_DECIMALS = 2
RECORD_FIELD_CHARS = RECORD_NUMBER_WIDTH + 1 + 2 * RECORD_REAL_WIDTH
FIRST_DIGIT_COLUMN = RECORD_FIELD_CHARS + 1  # 0-based
MAX_RECORDS = 10**RECORD_NUMBER_WIDTH - 1  # the record numbers that I6 holds
MAX_NREC = MAX_RECORDS // 2                # SNP_data holds two sets
MAX_SNPS = (2**31 - 1) // 2                # 2 x n_snp digits counted in 32 bits


def section_lines(n_snp):
    """Lines of the frequency or of the effect section: at least one."""
    return max(1, -(-n_snp // SETUP_VALUES_PER_LINE))


def record_chars(n_snp):
    """Characters of one SNP_data line without its line end."""
    return FIRST_DIGIT_COLUMN + 2 * n_snp if n_snp > 0 else RECORD_FIELD_CHARS


# SNP_results' effect and breeding-value lines as estimator/results.hpp owns
# them (I6,2F10.2): a number, the simulated and the estimated value.
RESULT_NUMBER_WIDTH = 6
RESULT_REAL_WIDTH = 10
RESULT_DECIMALS = 2


def facts(file):
    """The layout facts of `file` ("snp": SNP_setup and SNP_data; "results":
    SNP_results) by name, as the C++ tests compare them."""
    if file == "results":
        return {"result_number_width": RESULT_NUMBER_WIDTH, "result_real_width": RESULT_REAL_WIDTH,
                "result_decimals": RESULT_DECIMALS}
    return {
        "setup_values_per_line": SETUP_VALUES_PER_LINE, "count_width": COUNT_WIDTH,
        "counts_written": COUNTS_WRITTEN, "variance_width": VARIANCE_WIDTH, "frequency_width": FREQUENCY_WIDTH,
        "effect_width": EFFECT_WIDTH, "setup_decimals": SETUP_DECIMALS,
        "record_number_width": RECORD_NUMBER_WIDTH, "record_real_width": RECORD_REAL_WIDTH,
        "record_decimals": RECORD_DECIMALS, "record_field_chars": RECORD_FIELD_CHARS,
        "first_digit_column": FIRST_DIGIT_COLUMN, "max_records": MAX_RECORDS, "max_nrec": MAX_NREC,
        "max_snps": MAX_SNPS, "record_chars_1": record_chars(1), "record_chars_10000": record_chars(10000),
        "section_lines_0": section_lines(0), "section_lines_25": section_lines(25),
    }


def _fields(line, width):
    return [line[i:i + width] for i in range(0, len(line.rstrip("\r\n")), width)]


def _number(text):
    """A field as written (asterisks for a value too wide): float, NaN for none."""
    text = text.strip()
    try:
        return float(text)
    except ValueError:
        return math.nan


SnpSetup = namedtuple("SnpSetup", "n_snp n_qtl nrec nprog var_a var_e sim_var snp_freq snp_val")


def read_setup(path):
    """The counts, variances, frequencies and effects of a SNP_setup file."""
    with open(path, newline="") as f:
        lines = f.read().splitlines()
    n_snp, n_qtl, nrec, nprog, nrec = (int(v) for v in _fields(lines[1], COUNT_WIDTH)[:COUNTS_WRITTEN])
    var_a, var_e, sim_var = (_number(v) for v in _fields(lines[3], VARIANCE_WIDTH)[:3])
    rows = section_lines(n_snp)
    freq = [_number(v) for line in lines[5:5 + rows] for v in _fields(line, FREQUENCY_WIDTH)]
    val = [_number(v) for line in lines[6 + rows:6 + 2 * rows] for v in _fields(line, EFFECT_WIDTH)]
    if len(freq) != n_snp or len(val) != n_snp:
        raise ValueError(f"{path}: {n_snp} frequencies and effects expected, {len(freq)} and {len(val)} found")
    return SnpSetup(n_snp, n_qtl, nrec, nprog, var_a, var_e, sim_var, freq, val)


# snp_val, snp_sol: the simulated and the estimated effects; train, indep:
# (s_bv, g_bv) of the training and of the independent records.
SnpResults = namedtuple("SnpResults", "mean snp_val snp_sol train indep")


def read_results(path, nrec):
    """The estimated mean, both effects per SNP and both breeding values per
    record of a SNP_results file of `nrec` records per set."""
    with open(path, newline="") as f:
        lines = f.read().splitlines()
    mean = _number(lines[0].split(":", 1)[1])
    heading = lines.index("Simulated and estimated breeding values")
    effects = [_result_values(line) for line in lines[2:heading] if line.strip()]
    values = [_result_values(line) for line in lines[heading + 1:]]
    if len(values) != 2 * nrec:
        raise ValueError(f"{path}: {2 * nrec} breeding values expected, {len(values)} found")
    columns = lambda rows: (tuple(r[0] for r in rows), tuple(r[1] for r in rows))
    return SnpResults(mean, [e[0] for e in effects], [e[1] for e in effects],
                      columns(values[:nrec]), columns(values[nrec:]))


def _result_values(line):
    """(simulated, estimated) of an effect or breeding-value line of SNP_results."""
    simulated = RESULT_NUMBER_WIDTH
    estimated = simulated + RESULT_REAL_WIDTH
    return _number(line[simulated:estimated]), _number(line[estimated:estimated + RESULT_REAL_WIDTH])


def _moments(x, y):
    n = len(x)
    mx, my = sum(x) / n, sum(y) / n
    sxx = sum((a - mx) ** 2 for a in x)
    syy = sum((b - my) ** 2 for b in y)
    sxy = sum((a - mx) * (b - my) for a, b in zip(x, y))
    return n, sxx, syy, sxy


def slope(y, x):
    """Least-squares slope of y on x; NaN when x is constant."""
    n, sxx, _, sxy = _moments(x, y)
    return sxy / sxx if sxx > 0 else math.nan


def correlation(x, y):
    n, sxx, syy, sxy = _moments(x, y)
    return sxy / math.sqrt(sxx * syy) if sxx > 0 and syy > 0 else math.nan


def variance(x):
    """Variance with divisor n, as the estimator prints it."""
    n, sxx, _, _ = _moments(x, x)
    return sxx / n


_CONVERGENCE = re.compile(r"convergence of +(\S+) reached in +(\d+) rounds and +(\S+) seconds")
_SET = re.compile(
    r"Results for (training|independent) data set\s*\n.*\n mean(.*)\n var(.*)\n corr\(s_bv,g_bv\):(.*)")
_FINISHED = re.compile(r"Finished in +(\S+) seconds")
_SHORT_EXPONENT = re.compile(r"^([-+]?\.?\d*\.?\d+)([-+]\d{3})$")  # 0.10-119


def criterion(text):
    """The convergence criterion as printed, also in its three-digit-exponent form."""
    m = _SHORT_EXPONENT.match(text)
    return float(f"{m.group(1)}E{m.group(2)}") if m else _number(text)


def read_console(text):
    """Rounds, criterion, seconds and per set the printed means, variances and
    correlation of the estimator's console output."""
    text = text.replace("\r\n", "\n")
    found = {}
    m = _CONVERGENCE.search(text)
    if not m:
        raise ValueError("the estimator's console has no convergence line")
    found["crit"], found["rounds"], found["solve_s"] = criterion(m.group(1)), int(m.group(2)), _number(m.group(3))
    for name, means, variances, corr in _SET.findall(text):
        key = "train" if name == "training" else "indep"
        found[f"acc_{key}"] = _number(corr)
        found[f"means_{key}"] = [_number(v) for v in _fields(means[4:], 15)]
        found[f"vars_{key}"] = [_number(v) for v in _fields(variances[5:], 15)]
    m = _FINISHED.search(text)
    found["kolber_seconds"] = _number(m.group(1)) if m else math.nan
    if "acc_indep" not in found:
        raise ValueError("the estimator's console has no statistics of the independent set")
    return found


def main(argv):
    command, args = (argv[0], argv[1:]) if argv else ("", [])
    if command == "facts" and args in (["snp"], ["results"]):
        print("\n".join(f"{name} {value}" for name, value in facts(args[0]).items()))
    elif command == "record-chars" and len(args) == 1:
        print(record_chars(int(args[0])))
    elif command == "own-ratio" and len(args) in (1, 2):
        import theory  # only this command needs it
        ratio = theory.own_ratio(read_setup(args[0]))
        print(format(ratio, f".{args[1]}f") if len(args) == 2 else repr(ratio))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
