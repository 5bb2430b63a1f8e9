"""One replicate: the real simulator started at an assigned warm-up count, the
estimator answered with the study's ratio, the replicate's record; and each
sampler of the study on the replicate's SNP_data, made again where it runs.

The study runs each replicate, and each sampler of it, as a lean command that
imports Python's standard library alone (no Snakemake), so a job costs
milliseconds beside its programs:
    python3 -S -E workflow/scripts/replicate.py run [--scratch] [--keep-data] [--export-plink] [--digest] FOLDER WARMUP RATIO PARAMETERS_JSON
    python3 -S -E workflow/scripts/replicate.py method [--scratch] [--keep-data] FOLDER LABEL WARMUP PARAMETERS_JSON SETTINGS_JSON
With --scratch the programs work in a new folder under $TMPDIR (Snakemake's
tmpdir resource, node-local on a cluster) and only the replicate's small files
land in FOLDER. By hand, it re-creates a replicate and its methods bit for bit:
    python3 workflow/scripts/replicate.py RUN_FOLDER NEW_FOLDER
"""

import json
import math
import os
import signal
import sys
import time

import outputs
import programs
import sampler
import study as study_file
import theory

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LIBFAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
# The files a replicate reproduces byte for byte (the consoles hold times).
EXACT_FILES = ("SNP_setup", "SNP_data", "SNP_results")
RECORD = "replicate.json"
PLINK_PREFIX = "plink"
PLINK_FILES = tuple(f"{PLINK_PREFIX}.{ext}" for ext in ("bed", "bim", "fam", "bv", "train", "indep", "effects"))
# The brr run whose posterior var_e / var_b answers kolber (ratio: estimated).
RATIO_PREFIX = "ratio_brr"
LOGS = {"tarvox": "tarvox.log", "kolber": "kolber.log", "snp2plink": "snp2plink.log",
        "snpbayes": f"{RATIO_PREFIX}.log"}
# A sampler's folder in the replicate's, named by its label: snpbayes' files
# LABEL.*, its console, the job's own account and, where SNP_data was made
# again, the simulator's console.
METHOD_RECORD = "method.json"
METHOD_LOG = "method.log"
METHOD_LOGS = (METHOD_LOG, LOGS["tarvox"], sampler.LOG)
# How the consoles' report lines begin: the simulator's and kolber's, the
# method job's own (snpbayes' are its own to tell).
REPORT_STARTS = ("?", "failed:")


class ReplicateError(RuntimeError):
    """A replicate or a method cannot be run as asked; the message says why."""


def result_files(snpblup):
    """What every replicate leaves in its folder besides its record and
    consoles: SNP_setup, and SNP_results when snpblup is a method."""
    return ("SNP_setup", "SNP_results") if snpblup else ("SNP_setup",)


def landed_files(keep_data, export_plink):
    """Files a replicate's job leaves in its folder beyond result_files, its
    record and its consoles."""
    return (("SNP_data",) if keep_data else ()) + (PLINK_FILES if export_plink else ())


def method_prefix(label):
    """snpbayes' prefix of the sampler `label` in a replicate's folder."""
    return os.path.join(label, label)


def figure_files(snpblup, labels):
    """What the replicate figure draws of a replicate: SNP_setup, and each
    method's simulated and estimated effects and breeding values."""
    return list(result_files(snpblup)) + [f"{method_prefix(label)}.{suffix}" for label in labels
                                          for suffix in ("effects", "gbv")]


def method_files(label):
    """A sampler's files in the replicate's folder."""
    return sampler.files(method_prefix(label)) + [os.path.join(label, METHOD_RECORD)]


def clock_environment(warmup):
    """Environment under which the simulator's clock reads `warmup` milliseconds
    within its second, so it discards exactly that many draws."""
    if not 0 <= warmup <= 999:
        raise ValueError(f"a warm-up count is 0 to 999, not {warmup}")
    preload = " ".join(filter(None, [LIBFAKETIME, os.environ.get("LD_PRELOAD")]))
    return {**os.environ, "LD_PRELOAD": preload, "FAKETIME": f"2026-01-01 00:00:00.{warmup:03d}"}


def answer_text(ratio_setting, setup):
    """The text typed at the estimator's prompt: the simulation's own ratio
    from SNP_setup when the setting is true, the number given otherwise."""
    if ratio_setting is True:
        ratio = theory.own_ratio(setup)
        if not math.isfinite(ratio):
            raise ReplicateError(f"the simulation's own ratio is {ratio} from SNP_setup "
                                 f"(var_a {setup.var_a}, var_e {setup.var_e}): give ratio as a number")
        return format(ratio, ".10g")
    return format(ratio_setting, ".10g")


def _read(path):
    with open(path, errors="replace") as f:
        return f.read()


def _write(path, text):
    with open(path, "w") as f:
        f.write(text)


def simulate(work, warmup, log, repo=REPO):
    """tarvox in `work`, which holds par_tarvox, at warm-up count `warmup`;
    returns (wall, user seconds). The same count gives the same files, so a
    later job can make a replicate's SNP_data again where it needs it."""
    return programs.run(programs.binary(repo, "tarvox"), work, log, env=clock_environment(warmup))


def estimate(work, answer, log, repo=REPO):
    """kolber in `work` answered with `answer`; returns (wall, user seconds)."""
    return programs.run(programs.binary(repo, "kolber"), work, log, stdin_text=answer + "\n")


def export(work, log, repo=REPO):
    """The PLINK fileset of `work`'s SNP_setup and SNP_data; returns wall seconds."""
    wall, _ = programs.run(programs.binary(repo, "snp2plink"), work, log, args=(PLINK_PREFIX,))
    return wall


def summarise(folder, nrec, console):
    """What a replicate's table row takes from the console and SNP_results."""
    c = outputs.read_console(console)
    results = outputs.read_results(os.path.join(folder, "SNP_results"), nrec)
    (s_train, g_train), (s_indep, g_indep) = results.train, results.indep
    return {
        "rounds": c["rounds"], "crit": c["crit"],
        "acc_train": c["acc_train"], "acc_indep": c["acc_indep"],
        "slope_indep": outputs.slope(s_indep, g_indep), "slope_train": outputs.slope(s_train, g_train),
        "mean_estimated": results.mean,
        "var_gbv_indep": outputs.variance(g_indep), "var_sbv_indep": outputs.variance(s_indep),
        "acc_effects": outputs.correlation(results.snp_val, results.snp_sol),
        "kolber_seconds": c["kolber_seconds"],
    }


def seconds(value):
    """A measured time as a record keeps it: to the microsecond."""
    return round(value, 6)


class Scratch:
    """The folder the programs work in: a new one under `base` (node-local
    scratch), removed on leaving whatever happened, or the replicate's own
    folder when there is no base."""

    def __init__(self, folder, base=None):
        self.folder, self.base, self.path = folder, base, folder

    def __enter__(self):
        if self.base:
            self.path = os.path.join(self.base, f".snp-scratch-{os.getpid()}-{time.time_ns()}")
            os.makedirs(self.path)
        return self

    def land(self, names):
        """Moves `names` from scratch into the replicate's folder."""
        if self.path == self.folder:
            return
        for name in names:
            source, target = os.path.join(self.path, name), os.path.join(self.folder, name)
            try:
                os.replace(source, target)
            except OSError:  # another file system: the usual case of node-local scratch
                import shutil

                shutil.move(source, target)

    def __exit__(self, *failure):
        if self.path != self.folder:
            for entry in os.scandir(self.path):
                os.unlink(entry.path)
            os.rmdir(self.path)


def estimate_ratio(work, folder, settings, repo=REPO):
    """snpbayes brr with `settings` on the data in `work`, its files in
    `folder` under RATIO_PREFIX; returns kolber's answer, the posterior
    var_e / var_b, and what the record keeps of the run."""
    prefix = os.path.join(os.path.abspath(folder), RATIO_PREFIX)
    sampler.run(work, settings, prefix, os.path.join(folder, LOGS["snpbayes"]), repo)
    found = sampler.result(prefix)
    ratio = found.get("ratio")
    if ratio is None or not 0 < ratio < math.inf:
        raise ReplicateError(f"brr's estimate of the ratio in {prefix}.json is {ratio}: give ratio as a number")
    return format(ratio, ".10g"), {**settings, "ess_min": found["ess_min"], "snpbayes_s": found["seconds"]}


def run(folder, warmup, ratio_setting, scratch=None, keep_data=False, export_plink=False, digest=False,
        repo=REPO):
    """Runs the replicate whose folder holds par_tarvox: the simulator, and
    with a ratio setting kolber (and snp2plink with `export_plink`), in
    scratch under `scratch`, or in the folder itself; lands the small files
    (and SNP_data with `keep_data`) and returns the record, with the SHA-256
    of SNP_data when `digest` (a study with samplers: hashing costs a third
    of a replicate's programs at 10 000 SNPs x 10 000 records).
    `ratio_setting` is True, a number, the settings of the brr run that
    estimates it, or None (snpblup is not a method: the simulator alone).
    Consoles go straight to the folder, so a failure leaves them there;
    SNP_data is deleted unless kept."""
    logs = {name: os.path.join(folder, log) for name, log in LOGS.items()}
    snpblup = ratio_setting is not None
    times, ran = {}, ["tarvox"]
    with Scratch(folder, scratch) as work:
        try:
            if work.path != folder:
                _write(os.path.join(work.path, "par_tarvox"), _read(os.path.join(folder, "par_tarvox")))
            t_wall, t_cpu = simulate(work.path, warmup, logs["tarvox"], repo)
            setup = outputs.read_setup(os.path.join(work.path, "SNP_setup"))
            record = {"warmup": warmup}
            if snpblup:
                if isinstance(ratio_setting, dict):
                    record["ratio"], record["ratio_brr"] = estimate_ratio(work.path, folder, ratio_setting, repo)
                    ran.append("snpbayes")
                else:
                    record["ratio"] = answer_text(ratio_setting, setup)
                k_wall, k_cpu = estimate(work.path, record["ratio"], logs["kolber"], repo)
                ran.insert(1, "kolber")
                times = {"kolber_s": seconds(k_wall), "kolber_cpu_s": seconds(k_cpu)}
                record.update(summarise(work.path, setup.nrec, _read(logs["kolber"])))
            if export_plink:
                export(work.path, logs["snp2plink"], repo)
                ran.append("snp2plink")
            own = theory.own_ratio(setup)
            record["ratio_true"] = own if math.isfinite(own) else None
            if digest:
                record["data_sha256"] = programs.digest(os.path.join(work.path, "SNP_data"))
            work.land(result_files(snpblup) + landed_files(keep_data, export_plink))
        finally:
            if not keep_data and work.path == folder and os.path.exists(os.path.join(folder, "SNP_data")):
                os.unlink(os.path.join(folder, "SNP_data"))
    record.update({"tarvox_s": seconds(t_wall), **times, "tarvox_cpu_s": seconds(t_cpu)})
    record["build"] = programs.provenance(repo, ran)
    return record


def _say(log, line):
    with open(log, "a") as f:
        f.write(line + "\n")


def same_data(folder, work, replicate_record, repo=REPO):
    """Says how the SNP_data in `work` is known to be the replicate's of
    `folder` (whose record is `replicate_record`) and returns (that text, its
    SHA-256), or raises ReplicateError. Its SHA-256 is the one the replicate
    recorded; a replicate that recorded none (its study had no sampler then)
    ran the same simulator, by the simulator's SHA-256, and the SNP_setup
    made again is byte for byte the replicate's."""
    found = programs.digest(os.path.join(work, "SNP_data"))
    where = "landed" if work == folder else f"made again in {work}"
    expected = replicate_record.get("data_sha256")
    if expected is not None:
        if found != expected:
            raise ReplicateError(f"SNP_data {where} has SHA-256 {found}, not the replicate's {expected} of "
                                 f"{folder}/{RECORD}: the simulator no longer makes this replicate's data; "
                                 "run the replicate again (--forcerun replicate)")
        return f"SNP_data {where}: SHA-256 {found}, the replicate's", found
    if work == folder:
        return f"SNP_data landed, the replicate's own: SHA-256 {found}", found
    made = programs.provenance(repo, ("tarvox",))["sha256"]["tarvox"]
    used = replicate_record.get("build", {}).get("sha256", {}).get("tarvox")
    if made != used:
        raise ReplicateError(f"{folder}/{RECORD} has no digest of SNP_data (its study had no sampler when it ran), "
                             f"and the simulator is not the one that made it (SHA-256 {made}, not {used}): run the "
                             "replicate again (--forcerun replicate)")
    if _read(os.path.join(work, "SNP_setup")) != _read(os.path.join(folder, "SNP_setup")):
        raise ReplicateError(f"SNP_setup {where} differs from {folder}/SNP_setup: run the replicate again "
                             "(--forcerun replicate)")
    return (f"SNP_data {where}: SHA-256 {found}, by the replicate's simulator (SHA-256 {made}), with its "
            "SNP_setup byte for byte"), found


def run_method(folder, label, warmup, parameters, settings, scratch=None, keep_data=False, repo=REPO):
    """Runs the sampler `label` (snpbayes with `settings`, seed included) on
    the replicate of `folder`: on its SNP_data made again in a new folder
    under `scratch` (or in the replicate's folder), or the landed one with
    `keep_data`, once it is known to be the replicate's (same_data). Writes
    into `folder`/`label` and returns the method's record."""
    out = os.path.join(folder, label)
    log = os.path.join(out, METHOD_LOG)
    os.makedirs(out, exist_ok=True)
    open(log, "w").close()
    with open(os.path.join(folder, RECORD)) as f:
        replicate_record = json.load(f)
    record = {"label": label, "settings": settings, "warmup": warmup}
    prefix = os.path.join(folder, method_prefix(label))
    ran = ["snpbayes"]
    with Scratch(folder, None if keep_data else scratch or folder) as work:
        if work.path != folder:
            _write(os.path.join(work.path, "par_tarvox"), study_file.par_tarvox_text(parameters))
            t_wall, _ = simulate(work.path, warmup, os.path.join(out, LOGS["tarvox"]), repo)
            record["tarvox_s"] = seconds(t_wall)
            ran.insert(0, "tarvox")
        how, found = same_data(folder, work.path, replicate_record, repo)
        _say(log, how)
        wall, _ = sampler.run(work.path, settings, os.path.abspath(prefix), os.path.join(out, sampler.LOG), repo)
    _say(log, f"snpbayes {' '.join(sampler.arguments(settings, label))}: {wall:.3f} s")
    record.update({"data_sha256": found, **sampler.summary(prefix), "snpbayes_wall_s": seconds(wall)})
    record["build"] = programs.provenance(repo, ran)
    return record


def _report(folder, logs):
    """The report lines of the consoles `logs` in `folder`, each with its
    console's name; None when there are none."""
    reports = []
    for log in logs:
        try:
            lines = _read(os.path.join(folder, log)).splitlines()
        except OSError:
            continue
        report = [line.strip() for line in lines if line.startswith(REPORT_STARTS) or sampler.reports(line)]
        if report:
            reports.append(f"{log}: " + " ".join(report))
    return "; ".join(reports) or None


def failure(folder):
    """What a replicate that failed reports: the report lines ("? ...") of its
    programs' consoles, each with the console's name; None for a replicate
    with a record or without a report (not run, or cut off)."""
    if os.path.exists(os.path.join(folder, RECORD)):
        return None
    return _report(folder, LOGS.values())


def method_failure(folder, label):
    """The same for the sampler `label` of the replicate in `folder`."""
    out = os.path.join(folder, label)
    if os.path.exists(os.path.join(out, METHOD_RECORD)):
        return None
    return _report(out, METHOD_LOGS)


def _list_failures(failed, what, shown):
    print(f"{len(failed)} {what[len(failed) > 1]} failed; the folder keeps the programs' consoles:", file=sys.stderr)
    for folder, text in failed[:shown]:
        print(f"  {folder}: {text}", file=sys.stderr)
    if len(failed) > shown:
        print(f"  and {len(failed) - shown} more", file=sys.stderr)


def report_failures(folders, labels=(), shown=20):
    """Prints each failed replicate of `folders` with its program's report,
    then each failed sampler run (of the `labels`) by its folder."""
    folders = list(folders)
    failed = [(folder, text) for folder in folders if (text := failure(folder))]
    if failed:
        _list_failures(failed, ("replicate", "replicates"), shown)
    failed = [(os.path.join(folder, label), text) for folder in folders for label in labels
              if (text := method_failure(folder, label))]
    if failed:
        _list_failures(failed, ("sampler run", "sampler runs"), shown)


def write_record(path, record):
    """Writes the record whole or not at all: it is the replicate's last file."""
    temporary = os.path.join(os.path.dirname(path), f".{os.path.basename(path)}.{os.getpid()}")
    _write(temporary, json.dumps(record, indent=1) + "\n")
    os.replace(temporary, path)


def _sampler_runs(run_folder):
    """(label, settings) of every sampler that finished in a replicate's folder."""
    runs = []
    for entry in sorted(os.scandir(run_folder), key=lambda e: e.name):
        path = os.path.join(entry.path, METHOD_RECORD)
        if entry.is_dir() and os.path.exists(path):
            with open(path) as f:
                runs.append((entry.name, json.load(f)["settings"]))
    return runs


def recreate(run_folder, new_folder, repo=REPO):
    """Runs a replicate and its samplers again in `new_folder` from the
    par_tarvox and records of `run_folder`; returns (the files compared, those
    that differ). snpbayes' files are compared whole, PREFIX.json but for
    the lines of sampler.RUN_KEYS."""
    with open(os.path.join(run_folder, RECORD)) as f:
        record = json.load(f)
    os.makedirs(new_folder, exist_ok=True)
    _write(os.path.join(new_folder, "par_tarvox"), _read(os.path.join(run_folder, "par_tarvox")))
    simulate(new_folder, record["warmup"], os.path.join(new_folder, LOGS["tarvox"]), repo)
    snpbayes_files = []
    if "ratio_brr" in record:
        settings = {k: v for k, v in record["ratio_brr"].items() if k not in ("ess_min", "snpbayes_s")}
        sampler.run(new_folder, settings, RATIO_PREFIX, os.path.join(new_folder, LOGS["snpbayes"]), repo)
        snpbayes_files += sampler.files(RATIO_PREFIX)
    if "ratio" in record:
        estimate(new_folder, record["ratio"], os.path.join(new_folder, LOGS["kolber"]), repo)
    for label, settings in _sampler_runs(run_folder):
        os.makedirs(os.path.join(new_folder, label), exist_ok=True)
        sampler.run(new_folder, settings, method_prefix(label), os.path.join(new_folder, label, sampler.LOG), repo)
        snpbayes_files += sampler.files(method_prefix(label))

    def same(name):
        if name in EXACT_FILES:
            with open(os.path.join(run_folder, name), "rb") as a, open(os.path.join(new_folder, name), "rb") as b:
                return a.read() == b.read()
        return sampler.comparable(os.path.join(run_folder, name)) == sampler.comparable(os.path.join(new_folder, name))

    compared = [name for name in EXACT_FILES if os.path.exists(os.path.join(run_folder, name))] + snpbayes_files
    return compared, [name for name in compared if not same(name)]


JOB_USAGE = ("usage: replicate.py run [--scratch] [--keep-data] [--export-plink] [--digest] FOLDER WARMUP RATIO "
             "PARAMETERS_JSON\n"
             "       replicate.py method [--scratch] [--keep-data] FOLDER LABEL WARMUP PARAMETERS_JSON SETTINGS_JSON\n"
             "       replicate.py RUN_FOLDER NEW_FOLDER   (runs a replicate again and compares its files)\n"
             "RATIO: true, a number, none (no snpblup: the simulator alone) or the settings of the brr run that\n"
             "estimates it as JSON")
JOB_OPTIONS = {"run": ("--scratch", "--keep-data", "--export-plink", "--digest"), "method": ("--scratch", "--keep-data")}
JOB_ARGUMENTS = {"run": 4, "method": 5}


def _ratio_argument(text):
    if text == "none":
        return None
    if text == "true":
        return True
    return json.loads(text) if text.startswith("{") else float(text)


def job(kind, argv):
    """The study's job for one replicate or one sampler of a replicate (see
    the module's first lines)."""
    options = [a for a in argv if a.startswith("--")]
    if any(o not in JOB_OPTIONS[kind] for o in options) or len(argv) - len(options) != JOB_ARGUMENTS[kind]:
        sys.exit(JOB_USAGE)
    arguments = [a for a in argv if a not in options]
    folder = arguments[0]
    # Slurm ends a job with SIGTERM: leave through `finally`, so scratch is cleared.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    scratch = os.environ.get("TMPDIR", "/tmp") if "--scratch" in options else None
    try:
        if kind == "run":
            warmup, ratio, parameters = arguments[1:]
            _write(os.path.join(folder, "par_tarvox"), study_file.par_tarvox_text(json.loads(parameters)))
            record = run(folder, int(warmup), _ratio_argument(ratio), scratch=scratch,
                         keep_data="--keep-data" in options, export_plink="--export-plink" in options,
                         digest="--digest" in options)
            path = os.path.join(folder, RECORD)
        else:
            label, warmup, parameters, settings = arguments[1:]
            record = run_method(folder, label, int(warmup), json.loads(parameters), json.loads(settings),
                                scratch=scratch, keep_data="--keep-data" in options)
            path = os.path.join(folder, label, METHOD_RECORD)
    except (ReplicateError, programs.ProgramError, ValueError) as problem:
        where = folder if kind == "run" else os.path.join(folder, arguments[1])
        if kind == "method" and os.path.isdir(where) and not isinstance(problem, programs.ProgramError):
            _say(os.path.join(where, METHOD_LOG), f"failed: {problem}")
        print(f"{'replicate' if kind == 'run' else 'sampler run'} {where} failed: {problem}", file=sys.stderr)
        return 1
    write_record(path, record)
    return 0


def main(argv):
    if argv[:1] in (["run"], ["method"]) and len(argv) >= 5:
        return job(argv[0], argv[1:])
    if len(argv) != 2:
        sys.exit(JOB_USAGE)
    compared, differ = recreate(argv[0], argv[1])
    if differ:
        print("differ: " + ", ".join(differ))
        return 1
    print(f"{argv[1]}: " + ", ".join(compared) + " identical"
          + (f" (snpbayes' PREFIX.json but for {', '.join(sampler.RUN_KEYS)})"
             if any(name.endswith(".json") for name in compared) else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
