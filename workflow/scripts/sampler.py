"""snpbayes as a study runs it: its command line from a method's settings,
its files, what of them two runs of one chain must share, and what a table
row takes from them."""

import json

import outputs
import programs
from methods import SAMPLERS

SUFFIXES = ("effects", "gbv", "trace", "json")
# PREFIX.json's values that say how a run went rather than what it found:
# they alone differ between two runs of one chain (one a line).
RUN_KEYS = ("kernel", "seconds", "ms_per_iteration")
LOG = "snpbayes.log"


def reports(line):
    """Whether a line of snpbayes' console is its report of a failure: its
    lines that begin "snpbayes: ", but the one that announces the run."""
    return line.startswith("snpbayes: ") and not line.startswith(tuple(f"snpbayes: {m}, " for m in SAMPLERS))


def files(prefix):
    return [f"{prefix}.{suffix}" for suffix in SUFFIXES]


def arguments(settings, prefix):
    """snpbayes' options for a run of `settings` (a method's run settings,
    seed included) writing the files of `prefix`."""
    args = ["--method", settings["method"], "--iterations", str(settings["iterations"]),
            "--burn-in", str(settings["burn_in"]), "--thin", str(settings["thin"]), "--seed", str(settings["seed"])]
    if settings["method"] == "bayescpi":
        args += ["--pi", repr(float(settings["pi"]))] + (["--fix-pi"] if settings["fix_pi"] else [])
    return args + ["--out", prefix]


def run(work, settings, prefix, log, repo):
    """snpbayes in `work` (which holds SNP_setup and SNP_data); returns (wall,
    user seconds) or raises programs.ProgramError with its report."""
    return programs.run(programs.binary(repo, "snpbayes"), work, log, args=arguments(settings, prefix))


def comparable(path):
    """A file's bytes as two runs of one chain share them: PREFIX.json without
    its RUN_KEYS lines, the other files whole."""
    with open(path, "rb") as f:
        data = f.read()
    if not path.endswith(".json"):
        return data
    keys = tuple(f'"{key}":'.encode() for key in RUN_KEYS)
    return b"\n".join(line for line in data.split(b"\n") if not line.strip().startswith(keys))


def result(prefix):
    """PREFIX.json as a dict."""
    with open(f"{prefix}.json") as f:
        return json.load(f)


def _columns(path, names):
    """The columns `names` of a tab-separated file with a header, as text."""
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        at = [header.index(name) for name in names]
        rows = [line.rstrip("\n").split("\t") for line in f]
    return [[r[i] for r in rows] for i in at]


def read_effects(path):
    """(simulated, estimated) effects of PREFIX.effects."""
    return [[float(v) for v in column] for column in _columns(path, ("sim_effect", "effect"))]


def read_gbv(path):
    """{"train": (s_bv, g_bv), "indep": (s_bv, g_bv)} of PREFIX.gbv."""
    sets, s_bv, g_bv = _columns(path, ("set", "s_bv", "g_bv"))
    return {name: ([float(v) for v, s in zip(s_bv, sets) if s == name], [float(v) for v, s in zip(g_bv, sets) if s == name])
            for name in ("train", "indep")}


def effects_accuracy(path):
    """Correlation of the simulated and the estimated effects of PREFIX.effects."""
    return outputs.correlation(*read_effects(path))


def summary(prefix):
    """What a replicate's table row takes from a run: the columns it shares
    with kolber's rows, the posterior means, the smallest ESS, the times."""
    r = result(prefix)
    row = {"acc_train": r["acc_train"], "acc_indep": r["acc_indep"], "slope_indep": r["slope_indep"],
           "slope_train": r["slope_train"], "acc_effects": effects_accuracy(f"{prefix}.effects"),
           "mean_estimated": r["mu"], "var_gbv_indep": r["indep"]["var_g_bv"],
           "var_sbv_indep": r["indep"]["var_s_bv"]}
    row.update({key: r[key] for key in ("var_e", "var_b", "var_g", "pi", "snps_in_model", "ess_min") if key in r})
    for k, share in enumerate(r.get("proportions", ())):
        row[f"p_class{k}"] = share
    row.update({"snpbayes_s": r["seconds"], "ms_per_iteration": r["ms_per_iteration"]})
    return row
