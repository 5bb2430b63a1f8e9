"""One replicate: the real simulator started at an assigned warm-up count, the
estimator answered with the study's ratio, and the replicate's record.

Run as a script with two folders it re-creates a replicate bit for bit:
    python3 workflow/scripts/replicate.py RUN_FOLDER NEW_FOLDER
"""

import json
import math
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import outputs
import programs
import theory

REPO = Path(__file__).resolve().parents[2]
LIBFAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
# The files a replicate reproduces byte for byte (the consoles hold times).
EXACT_FILES = ("SNP_setup", "SNP_data", "SNP_results")


class ReplicateError(RuntimeError):
    """A program failed; the message holds its report."""


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


def _run(command, folder, log, stdin_text=None, env=None):
    """Runs a program in `folder` with its console in `log`; returns (wall
    seconds, user seconds). A failure raises with the program's report."""
    start = time.perf_counter()
    with open(log, "w") as out:
        process = subprocess.Popen([str(command)], cwd=folder, env=env, stdin=subprocess.PIPE,
                                   stdout=out, stderr=subprocess.STDOUT, text=True)
        process.stdin.write(stdin_text or "")
        process.stdin.close()
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
    wall = time.perf_counter() - start
    if process.returncode != 0:
        report = Path(log).read_text(errors="replace").strip().splitlines()[-6:]
        raise ReplicateError(f"{Path(command).name} failed in {folder} (exit status {process.returncode}):\n"
                             + "\n".join(report))
    return wall, usage.ru_utime


def run(folder, warmup, ratio_setting, tarvox_log, kolber_log, repo=REPO):
    """Runs both programs in `folder`, which holds par_tarvox, and returns the
    replicate's record: its warm-up, answer, estimator figures and times."""
    tarvox, kolber = programs.paths(repo)
    t_wall, _ = _run(tarvox, folder, tarvox_log, env=clock_environment(warmup))
    setup = outputs.read_setup(Path(folder) / "SNP_setup")
    answer = answer_text(ratio_setting, setup)
    k_wall, k_cpu = _run(kolber, folder, kolber_log, stdin_text=answer + "\n")
    record = {"warmup": warmup, "ratio": answer}
    record.update(summarise(folder, setup.nrec, Path(kolber_log).read_text()))
    record.update({"tarvox_s": t_wall, "kolber_s": k_wall, "kolber_cpu_s": k_cpu})
    return record


def summarise(folder, nrec, console):
    """What a replicate's table row takes from the console and SNP_results."""
    c = outputs.read_console(console)
    results = outputs.read_results(Path(folder) / "SNP_results", nrec)
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


def write_record(path, record):
    with open(path, "w") as f:
        json.dump(record, f, indent=1)
        f.write("\n")


def recreate(run_folder, new_folder, repo=REPO):
    """Runs a replicate again in `new_folder` from the par_tarvox and record of
    `run_folder`; returns the files that differ (none when bit-identical)."""
    run_folder, new_folder = Path(run_folder), Path(new_folder)
    record = json.loads((run_folder / "replicate.json").read_text())
    new_folder.mkdir(parents=True, exist_ok=True)
    shutil.copy(run_folder / "par_tarvox", new_folder / "par_tarvox")
    tarvox, kolber = programs.paths(repo)
    _run(tarvox, new_folder, new_folder / "tarvox.log", env=clock_environment(record["warmup"]))
    _run(kolber, new_folder, new_folder / "kolber.log", stdin_text=record["ratio"] + "\n")
    return [name for name in EXACT_FILES
            if (run_folder / name).exists() and (run_folder / name).read_bytes() != (new_folder / name).read_bytes()]


def main(smk):
    folder = Path(smk.output.setup).parent
    Path(folder, "par_tarvox").write_text(smk.params.par_tarvox)
    try:
        record = run(folder, smk.params.warmup, smk.params.ratio, smk.log.tarvox, smk.log.kolber)
    except (ReplicateError, ValueError) as failure:
        print(failure, file=sys.stderr)
        sys.exit(1)
    write_record(smk.output.record, record)


if __name__ == "__main__" and "snakemake" not in globals():
    if len(sys.argv) != 3:
        sys.exit("usage: replicate.py RUN_FOLDER NEW_FOLDER   (runs a replicate again and compares its files)")
    differ = recreate(sys.argv[1], sys.argv[2])
    print("differ: " + ", ".join(differ) if differ else
          f"{sys.argv[2]}: " + ", ".join(n for n in EXACT_FILES if Path(sys.argv[1], n).exists()) + " identical")
    sys.exit(1 if differ else 0)
elif "snakemake" in globals():
    main(snakemake)  # noqa: F821 (given by the workflow)
