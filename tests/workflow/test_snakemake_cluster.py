"""Snakemake's generic cluster submission on the live cluster, with the keys
a profile for it needs: parallel jobs, their logs, and failures whether the
rule fails or Slurm ends the job."""

import signal
import subprocess
import time
from pathlib import Path

import pytest

from conftest import REPO

SNAKEMAKE = "/usr/bin/snakemake"

# The project's cluster profile. Its status command is what notices a job
# Slurm ended (cancelled, timed out): without it the run waits for ever. The
# workflow tells the status command where the repository is; a bare Snakefile
# needs SNP_STUDY_REPO set by hand.
PROFILE = REPO / "profiles" / "slurm"

# Each of `a` and `b` waits for the other's mark: both succeed only side by side.
SNAKEFILE = """\
rule all:
    input: "a.txt", "b.txt", "bad.txt", "cancelled.txt"

rule pair:
    output: "{name}.txt"
    wildcard_constraints: name="a|b"
    priority: 1
    params: other=lambda wildcards: "b" if wildcards.name == "a" else "a"
    shell:
        "touch {wildcards.name}.mark; "
        "for i in $(seq 300); do [ -e {params.other}.mark ] && break; sleep 0.1; done; "
        "[ -e {params.other}.mark ]; "
        "echo out-{wildcards.name}; echo err-{wildcards.name} >&2; touch {output}"

rule bad:
    output: "bad.txt"
    shell: "echo about to fail >&2; exit 1"

rule cancelled:
    output: "cancelled.txt"
    shell: "scancel $SLURM_JOB_ID; sleep 60; touch {output}"
"""


def squeue(env):
    return subprocess.run(["squeue", "--noheader"], env=env, stdout=subprocess.PIPE,
                          text=True, check=True).stdout


@pytest.fixture
def study(tmp_path):
    if not Path(SNAKEMAKE).exists():
        pytest.skip(f"{SNAKEMAKE} missing")
    (tmp_path / "Snakefile").write_text(SNAKEFILE)
    return tmp_path


def test_profile_runs_jobs_side_by_side_and_notices_every_failure(slurm_env, study):
    # CI=true makes Snakemake poll job status every second instead of every 10 s.
    env = dict(slurm_env, CI="true", SNP_STUDY_REPO=str(REPO))
    run = subprocess.run([SNAKEMAKE, "--profile", str(PROFILE)], cwd=study,
                         env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True, timeout=120)
    assert run.returncode == 1, run.stdout
    assert sorted(p.name for p in study.glob("*.txt")) == ["a.txt", "b.txt"], run.stdout
    for rule in ("bad", "cancelled"):
        assert f"Error executing rule {rule} on cluster" in run.stdout
    logs = lambda rule: [p.read_text() for p in (study / "logs" / "slurm").glob(f"{rule}-*.out")]
    assert any("out-a" in log and "err-a" in log for log in logs("pair"))
    assert any("about to fail" in log for log in logs("bad"))
    assert squeue(env) == ""


def test_interrupt_cancels_the_jobs_in_the_queue(slurm_env, study):
    (study / "Snakefile").write_text(
        'rule long:\n    output: "long.txt"\n    shell: "touch started; sleep 120; touch {output}"\n')
    env = dict(slurm_env, CI="true", SNP_STUDY_REPO=str(REPO))
    run = subprocess.Popen([SNAKEMAKE, "--profile", str(PROFILE)], cwd=study,
                           env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 60
        while not (study / "started").exists():
            assert time.monotonic() < deadline and run.poll() is None
            time.sleep(0.1)
        # Ctrl-C cancels through cluster-cancel; SIGTERM would wait for the job.
        # Well under the job's 120 s, with room for a loaded machine.
        run.send_signal(signal.SIGINT)
        assert run.wait(timeout=80) != 0
    finally:
        if run.poll() is None:
            run.kill()
    deadline = time.monotonic() + 20
    while squeue(env):
        assert time.monotonic() < deadline, squeue(env)
        time.sleep(0.1)
