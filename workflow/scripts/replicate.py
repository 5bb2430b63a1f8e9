"""One replicate: the real simulator started at an assigned warm-up count, the
estimator answered with the study's ratio, and the replicate's record.

The study runs each replicate as a lean command that imports Python's standard
library alone (no Snakemake), so a job costs milliseconds beside its programs:
    python3 -S -E workflow/scripts/replicate.py run [--scratch] [--keep-data] [--export-plink] FOLDER WARMUP RATIO PARAMETERS_JSON
With --scratch the programs work in a new folder under $TMPDIR (Snakemake's
tmpdir resource, node-local on a cluster) and only the replicate's small files
land in FOLDER. By hand, it re-creates a replicate bit for bit:
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
import study as study_file
import theory

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LIBFAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
# The files a replicate reproduces byte for byte (the consoles hold times).
EXACT_FILES = ("SNP_setup", "SNP_data", "SNP_results")
# What every replicate leaves in its folder besides its consoles.
RESULT_FILES = ("SNP_setup", "SNP_results")
RECORD = "replicate.json"
PLINK_PREFIX = "plink"
PLINK_FILES = tuple(f"{PLINK_PREFIX}.{ext}" for ext in ("bed", "bim", "fam", "bv", "train", "indep", "effects"))
LOGS = {"tarvox": "tarvox.log", "kolber": "kolber.log", "snp2plink": "snp2plink.log"}


class ReplicateError(RuntimeError):
    """A program failed; the message holds its report."""


def landed_files(keep_data, export_plink):
    """Files a replicate's job leaves in its folder beyond RESULT_FILES, its
    record and its consoles."""
    return (("SNP_data",) if keep_data else ()) + (PLINK_FILES if export_plink else ())


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


def _run(command, work, log, stdin_text="", env=None, args=()):
    """Runs a program with `args` in folder `work` with its console in `log`
    and `stdin_text` on its standard input; returns (wall seconds, user
    seconds). A failure raises with the end of the program's report."""
    start = time.perf_counter()
    console = os.open(log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o666)
    stdin, answer = os.pipe()
    here = os.getcwd()
    os.chdir(work)  # the programs read and write fixed names in their folder
    try:
        pid = os.posix_spawn(command, [command, *args], os.environ if env is None else env, file_actions=[
            (os.POSIX_SPAWN_DUP2, stdin, 0), (os.POSIX_SPAWN_DUP2, console, 1), (os.POSIX_SPAWN_DUP2, console, 2)])
    finally:
        os.chdir(here)
        os.close(stdin)
        os.close(console)
    try:
        with open(answer, "w") as pipe:
            pipe.write(stdin_text)
    except BrokenPipeError:  # it ended before reading: its status tells why
        pass
    try:
        _, status, usage = os.wait4(pid, 0)
    except BaseException:  # the job is ended from outside (SIGTERM, Ctrl-C): so is the program
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        raise
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        report = _read(log).strip().splitlines()[-6:]
        raise ReplicateError(f"{os.path.basename(command)} ended with exit status {code}; "
                             f"the end of its console {log}:\n" + "\n".join(report))
    return wall, usage.ru_utime


def simulate(work, warmup, log, repo=REPO):
    """tarvox in `work`, which holds par_tarvox, at warm-up count `warmup`;
    returns (wall, user seconds). The same count gives the same files, so a
    later job can make a replicate's SNP_data again where it needs it."""
    return _run(programs.binary(repo, "tarvox"), work, log, env=clock_environment(warmup))


def estimate(work, answer, log, repo=REPO):
    """kolber in `work` answered with `answer`; returns (wall, user seconds)."""
    return _run(programs.binary(repo, "kolber"), work, log, stdin_text=answer + "\n")


def export(work, log, repo=REPO):
    """The PLINK fileset of `work`'s SNP_setup and SNP_data; returns wall seconds."""
    wall, _ = _run(programs.binary(repo, "snp2plink"), work, log, args=(PLINK_PREFIX,))
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
            self.path = os.path.join(self.base, f"snp-replicate-{os.getpid()}-{time.time_ns()}")
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


def run(folder, warmup, ratio_setting, scratch=None, keep_data=False, export_plink=False, repo=REPO):
    """Runs the replicate whose folder holds par_tarvox: both programs (and
    snp2plink with `export_plink`) in scratch under `scratch`, or in the folder
    itself; lands the small files (and SNP_data with `keep_data`) and returns
    the record. Consoles go straight to the folder, so a failure leaves them
    there; SNP_data is deleted unless kept."""
    logs = {name: os.path.join(folder, log) for name, log in LOGS.items()}
    with Scratch(folder, scratch) as work:
        try:
            if work.path != folder:
                _write(os.path.join(work.path, "par_tarvox"), _read(os.path.join(folder, "par_tarvox")))
            t_wall, t_cpu = simulate(work.path, warmup, logs["tarvox"], repo)
            setup = outputs.read_setup(os.path.join(work.path, "SNP_setup"))
            answer = answer_text(ratio_setting, setup)
            k_wall, k_cpu = estimate(work.path, answer, logs["kolber"], repo)
            if export_plink:
                export(work.path, logs["snp2plink"], repo)
            record = {"warmup": warmup, "ratio": answer}
            record.update(summarise(work.path, setup.nrec, _read(logs["kolber"])))
            work.land(RESULT_FILES + landed_files(keep_data, export_plink))
        finally:
            if not keep_data and work.path == folder and os.path.exists(os.path.join(folder, "SNP_data")):
                os.unlink(os.path.join(folder, "SNP_data"))
    record.update({"tarvox_s": seconds(t_wall), "kolber_s": seconds(k_wall), "kolber_cpu_s": seconds(k_cpu),
                   "tarvox_cpu_s": seconds(t_cpu)})
    record["build"] = programs.provenance(repo, ("tarvox", "kolber") + (("snp2plink",) if export_plink else ()))
    return record


def failure(folder):
    """What a replicate that failed reports: the report lines ("? ...") of its
    programs' consoles, each with the console's name; None for a replicate
    with a record or without a report (not run, or cut off)."""
    if os.path.exists(os.path.join(folder, RECORD)):
        return None
    reports = []
    for log in LOGS.values():
        try:
            lines = _read(os.path.join(folder, log)).splitlines()
        except OSError:
            continue
        report = [line.strip() for line in lines if line.startswith("?")]
        if report:
            reports.append(f"{log}: " + " ".join(report))
    return "; ".join(reports) or None


def report_failures(folders, shown=20):
    """Prints each failed replicate of `folders` with its program's report."""
    failed = [(folder, text) for folder in folders if (text := failure(folder))]
    if failed:
        print(f"{len(failed)} replicate{'s' if len(failed) > 1 else ''} failed; the folder keeps the programs' "
              "consoles:", file=sys.stderr)
        for folder, text in failed[:shown]:
            print(f"  {folder}: {text}", file=sys.stderr)
        if len(failed) > shown:
            print(f"  and {len(failed) - shown} more", file=sys.stderr)


def write_record(path, record):
    """Writes the record whole or not at all: it is the replicate's last file."""
    temporary = os.path.join(os.path.dirname(path), f".{os.path.basename(path)}.{os.getpid()}")
    _write(temporary, json.dumps(record, indent=1) + "\n")
    os.replace(temporary, path)


def recreate(run_folder, new_folder, repo=REPO):
    """Runs a replicate again in `new_folder` from the par_tarvox and record of
    `run_folder`; returns the files that differ (none when bit-identical)."""
    with open(os.path.join(run_folder, RECORD)) as f:
        record = json.load(f)
    os.makedirs(new_folder, exist_ok=True)
    _write(os.path.join(new_folder, "par_tarvox"), _read(os.path.join(run_folder, "par_tarvox")))
    simulate(new_folder, record["warmup"], os.path.join(new_folder, LOGS["tarvox"]), repo)
    estimate(new_folder, record["ratio"], os.path.join(new_folder, LOGS["kolber"]), repo)

    def same(name):
        with open(os.path.join(run_folder, name), "rb") as a, open(os.path.join(new_folder, name), "rb") as b:
            return a.read() == b.read()

    return [name for name in EXACT_FILES if os.path.exists(os.path.join(run_folder, name)) and not same(name)]


JOB_USAGE = ("usage: replicate.py run [--scratch] [--keep-data] [--export-plink] FOLDER WARMUP RATIO PARAMETERS_JSON\n"
             "       replicate.py RUN_FOLDER NEW_FOLDER   (runs a replicate again and compares its files)")
JOB_OPTIONS = ("--scratch", "--keep-data", "--export-plink")


def job(argv):
    """The study's job for one replicate (see the module's first lines)."""
    options = [a for a in argv if a.startswith("--")]
    if any(o not in JOB_OPTIONS for o in options) or len(argv) - len(options) != 4:
        sys.exit(JOB_USAGE)
    folder, warmup, ratio, parameters = (a for a in argv if a not in options)
    # Slurm ends a job with SIGTERM: leave through `finally`, so scratch is cleared.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    _write(os.path.join(folder, "par_tarvox"), study_file.par_tarvox_text(json.loads(parameters)))
    try:
        record = run(folder, int(warmup), True if ratio == "true" else float(ratio),
                     scratch=os.environ.get("TMPDIR", "/tmp") if "--scratch" in options else None,
                     keep_data="--keep-data" in options, export_plink="--export-plink" in options)
    except (ReplicateError, ValueError) as problem:
        print(f"replicate {folder} failed: {problem}", file=sys.stderr)
        return 1
    write_record(os.path.join(folder, RECORD), record)
    return 0


def main(argv):
    if argv[:1] == ["run"] and len(argv) >= 5:
        return job(argv[1:])
    if len(argv) != 2:
        sys.exit(JOB_USAGE)
    differ = recreate(argv[0], argv[1])
    print("differ: " + ", ".join(differ) if differ else
          f"{argv[1]}: " + ", ".join(n for n in EXACT_FILES if os.path.exists(os.path.join(argv[0], n)))
          + " identical")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
