"""The study file: its checks, its grid of parameter sets and their folders.

A study is `replicates` runs of the simulator and of every estimator of
`methods` at every combination of the `sweep` values over the `base`
parameters. Every check here runs before anything is made, and every message
names the key and what is accepted.
"""

import itertools
import math

import methods as study_methods
from outputs import MAX_NREC, MAX_SNPS, RECORD_NUMBER_WIDTH
from warmup import MAX_REPLICATES, warmup_count

# The simulator's parameter file: a label line and a value line each; the two
# frequency bounds share one value line.
PAR_TARVOX_LINES = (
    ("Number of SNP", ("n_snp",)),
    ("Number of SNP with an effect (QTL)", ("n_qtl",)),
    ("Progenies per sire (0: every animal has its own record)", ("nprog",)),
    ("Records per data set (the training and the independent set each)", ("nrec",)),
    ("Range of the minor allele frequencies", ("freq_min", "freq_max")),
    ("Ratio of the largest to the smallest QTL effect", ("snp_range",)),
    ("Additive genetic variance", ("var_a",)),
    ("Heritability", ("h2",)),
    ("Overall mean", ("mean",)),
    ("Random seed (recorded only)", ("seed",)),
)
PARAMETERS = tuple(name for _, names in PAR_TARVOX_LINES for name in names)
INTEGERS = frozenset({"n_snp", "n_qtl", "nprog", "nrec", "seed"})
TOP_KEYS = ("replicates", "base", "sweep", "ratio", "keep_data", "export_plink", "scratch", "methods")
DEFAULTS = {"sweep": {}, "ratio": True, "keep_data": False, "export_plink": False, "scratch": False,
            "methods": study_methods.DEFAULT}
# snpblup's ratio estimated from the training records by a brr run.
ESTIMATED = "estimated"

INT32_MAX = 2**31 - 1
FLOAT32_MAX = 3.4028234663852886e38


class StudyError(ValueError):
    """A study file that cannot run; the message names the key."""


def _is_integer(v):
    return isinstance(v, int) and not isinstance(v, bool)


def _is_number(v):
    return (_is_integer(v) or isinstance(v, float)) and math.isfinite(v)


def _value_problem(name, v):
    """What is wrong with one parameter value on its own, or None."""
    if name in INTEGERS:
        if not _is_integer(v):
            return "a whole number is accepted"
        if not -INT32_MAX - 1 <= v <= INT32_MAX:
            return "a 32-bit whole number is accepted"
    elif not _is_number(v) or abs(v) > FLOAT32_MAX:
        hint = " (YAML reads 1e-5 as text: write 1.0e-5)" if isinstance(v, str) else ""
        return "a finite single-precision number is accepted" + hint
    limits = {
        "n_snp": (1 <= v <= MAX_SNPS, f"at least 1 SNP and at most {MAX_SNPS}"),
        "nprog": (v >= 0, "0 (own records) or a positive number of progenies"),
        "nrec": (1 <= v <= MAX_NREC,
                 f"from 1 to {MAX_NREC} records per set (2 x nrec are numbered in {RECORD_NUMBER_WIDTH} columns)"),
        "freq_min": (0 <= v <= 1, "a frequency from 0 to 1"),
        "freq_max": (0 <= v <= 1, "a frequency from 0 to 1"),
        "var_a": (v > 0, "a positive variance"),
        "h2": (0 < v <= 1, "a heritability above 0 and at most 1"),
    }
    if name in limits and not limits[name][0]:
        return limits[name][1] + " is accepted"
    return None


def _set_problem(p):
    """What makes a whole parameter set unsimulable, or None."""
    if p["snp_range"] > 1 and not 1 <= p["n_qtl"] <= p["n_snp"]:
        return "n_qtl", f"with snp_range above 1, from 1 to n_snp = {p['n_snp']} SNPs with an effect are accepted"
    low, high = sorted((p["freq_min"], p["freq_max"]))
    if high <= 0 or low >= 1:
        return "freq_max", "a frequency range that reaches between 0 and 1 is accepted (no SNP would segregate)"
    if (1 - p["h2"]) * p["var_a"] / p["h2"] > FLOAT32_MAX:
        return "h2", "a heritability whose residual variance (1 - h2) var_a / h2 is a single-precision number"
    return None


def _ratio_problem(v):
    if v is True or v == ESTIMATED or (_is_number(v) and v >= 0 and abs(v) <= FLOAT32_MAX):
        return None
    return "true (the simulation's own ratio), estimated or a number of at least 0 is accepted"


def _check_methods(study):
    """The study's methods checked and filled in; snpblup's ratio (its own, or
    the top-level one) goes into its entry unless the ratio is swept."""
    try:
        checked = study_methods.check(study["methods"])
    except ValueError as problem:
        raise StudyError(str(problem)) from None
    swept = "ratio" in study["sweep"]
    for i, entry in enumerate(checked, 1):
        settings = entry.get(study_methods.SNPBLUP)
        if settings is None:
            continue
        if "ratio" in settings:
            where = f"methods[{i}].snpblup.ratio = {settings['ratio']!r}"
            if swept:
                raise StudyError(f"{where}: the ratio is swept (sweep.ratio): give it there or here, not both")
            problem = _ratio_problem(settings["ratio"])
            if problem:
                raise StudyError(f"{where}: {problem}")
        elif not swept:
            settings["ratio"] = study["ratio"]
        return checked
    if swept or study["ratio"] is not True:
        key = "sweep.ratio" if swept else f"ratio = {study['ratio']!r}"
        raise StudyError(f"{key}: the ratio answers snpblup's kolber, and snpblup is not among the methods")
    return checked


def _check_keys(mapping, accepted, where):
    unknown = [k for k in mapping if k not in accepted]
    if unknown:
        raise StudyError(f"{where}unknown key '{unknown[0]}': accepted are {', '.join(accepted)}")


def check(study):
    """Raises StudyError for the first problem of a study mapping; returns the
    study with its defaults filled in."""
    if not isinstance(study, dict):
        raise StudyError("the study file must be a mapping with the keys " + ", ".join(TOP_KEYS))
    _check_keys(study, TOP_KEYS, "")
    study = {**DEFAULTS, **study}
    r = study.get("replicates")
    if r is None:
        raise StudyError(f"replicates is missing: a whole number from 1 to {MAX_REPLICATES} is required")
    if not _is_integer(r) or not 1 <= r <= MAX_REPLICATES:
        raise StudyError(f"replicates = {r!r}: a whole number from 1 to {MAX_REPLICATES} is accepted")
    base = study.get("base")
    if not isinstance(base, dict):
        raise StudyError("base is missing: the eleven values " + ", ".join(PARAMETERS) + " are required")
    _check_keys(base, PARAMETERS, "base: ")
    missing = [n for n in PARAMETERS if n not in base]
    if missing:
        raise StudyError(f"base.{missing[0]} is missing: all of {', '.join(PARAMETERS)} are required")
    for name in PARAMETERS:
        problem = _value_problem(name, base[name])
        if problem:
            raise StudyError(f"base.{name} = {base[name]!r}: {problem}")
    sweep = study["sweep"]
    if not isinstance(sweep, dict):
        raise StudyError("sweep must map parameter names to lists of values")
    _check_keys(sweep, PARAMETERS + ("ratio",), "sweep: ")
    for name, values in sweep.items():
        if not isinstance(values, list) or not values:
            raise StudyError(f"sweep.{name} = {values!r}: a list of at least one value is accepted")
        for i, v in enumerate(values):
            problem = _ratio_problem(v) if name == "ratio" else _value_problem(name, v)
            if problem:
                raise StudyError(f"sweep.{name}[{i + 1}] = {v!r}: {problem}")
        if len({value_text(v) for v in values}) < len(values):
            raise StudyError(f"sweep.{name} = {values!r}: every value may appear once")
    problem = _ratio_problem(study["ratio"])
    if problem:
        raise StudyError(f"ratio = {study['ratio']!r}: {problem}")
    study["methods"] = _check_methods(study)
    for key in ("keep_data", "export_plink", "scratch"):
        if not isinstance(study[key], bool):
            hint = (" (true: the job's temporary folder, Snakemake's tmpdir resource; name the folder with "
                    "--default-resources \"tmpdir='/local/scratch'\")") if key == "scratch" else ""
            raise StudyError(f"{key} = {study[key]!r}: true or false is accepted{hint}")
    for point in grid(study):
        failure = _set_problem(point.parameters)
        if failure:
            name, accepted = failure
            where = f" at the grid point {point.name}" if sweep else ""
            raise StudyError(f"{name} = {point.parameters[name]!r}{where}: {accepted}")
    return study


def value_text(v):
    """A value as the tables, folder names and par_tarvox write it."""
    if v is True:
        return "true"
    return repr(v) if isinstance(v, float) else str(v)


def value_label(v):
    """A value as figures and the report show it to a reader."""
    return "own" if v is True else value_text(v)


# What each swept key is, as figures and the report name it.
LABELS = {
    "n_snp": "SNPs (n_snp)", "n_qtl": "SNPs with an effect (n_qtl)", "nprog": "progenies per sire (nprog)",
    "nrec": "training records (nrec)", "freq_min": "lowest allele frequency (freq_min)",
    "freq_max": "highest allele frequency (freq_max)", "snp_range": "largest / smallest effect (snp_range)",
    "var_a": "additive variance (var_a)", "h2": "heritability (h²)", "mean": "overall mean (mean)",
    "seed": "seed", "ratio": "variance ratio",
}
# A key as a reader writes it beside its value.
SYMBOLS = {"h2": "h²"}


def swept_text(swept):
    """Swept values as a reader says them: "nrec = 1000, h² = 0.3"."""
    return ", ".join(f"{SYMBOLS.get(k, k)} = {value_label(v)}" for k, v in swept.items())


class GridPoint:
    """One combination of the sweep values: its folder name, its parameter set
    and snpblup's ratio setting there (True for the simulation's own ratio,
    None without snpblup)."""

    def __init__(self, swept, base, ratio):
        self.swept = swept  # {name: value} of the swept keys, in sweep order
        self.parameters = {**base, **{k: v for k, v in swept.items() if k != "ratio"}}
        self.ratio = swept.get("ratio", ratio)
        names = [f"{k}={value_label(v)}" for k, v in swept.items()]
        self.name = "_".join(names) or "base"


def snpblup_ratio(study):
    """snpblup's ratio setting outside a sweep; None without snpblup."""
    for entry in study.get("methods") or [{study_methods.SNPBLUP: {"ratio": study.get("ratio", True)}}]:
        if study_methods.SNPBLUP in entry:
            return entry[study_methods.SNPBLUP].get("ratio", study.get("ratio", True))
    return None


def grid(study):
    """Every combination of the sweep values, the first swept key varying slowest."""
    sweep = study.get("sweep") or {}
    names = list(sweep)
    return [
        GridPoint(dict(zip(names, values)), study["base"], snpblup_ratio(study))
        for values in itertools.product(*(sweep[n] for n in names))
    ]


def replicate_name(r):
    return f"rep_{r:03d}"


def replicate_number(name):
    return int(name.removeprefix("rep_"))


def run_folder(point, r):
    return f"runs/{point.name}/{replicate_name(r)}"


def par_tarvox_text(parameters):
    """The simulator's parameter file for one parameter set."""
    lines = []
    for label, names in PAR_TARVOX_LINES:
        lines += [label, " ".join(value_text(parameters[n]) for n in names)]
    return "\n".join(lines) + "\n"


def memory_mb(parameters):
    """Memory to ask of a cluster for one replicate: the estimator holds at most
    a byte per training genotype, plus the programs themselves."""
    return 200 + parameters["nrec"] * (parameters["n_snp"] + 1) // 1_000_000 * 3 // 2


__all__ = ["StudyError", "check", "grid", "warmup_count", "par_tarvox_text", "run_folder"]
