"""Snakemake's generic cluster submission on the live cluster, with the keys
a profile for it needs: parallel jobs, their logs, and failures whether the
rule fails or Slurm ends the job."""

import shutil
import signal
import subprocess
import time
from pathlib import Path

import pytest

from test_cluster_status import STATUS_SCRIPT

SNAKEMAKE = "/usr/bin/snakemake"

# The keys of profiles/slurm/config.yaml.  The status command is what notices
# a job Slurm ended (cancelled, timed out, no log folder): without it the run
# waits for ever.  The submit command runs in a shell, so it can make the log
# folder sbatch needs; stdout and stderr of a job share its one log.
PROFILE = """\
cluster: "mkdir -p logs/slurm && sbatch --parsable --cpus-per-task={threads} --job-name={rule} --output=logs/slurm/{rule}-{wildcards}-%j.log"
cluster-status: status.py
cluster-cancel: scancel
jobs: 2
latency-wait: 5
keep-going: true
max-status-checks-per-second: 10
printshellcmds: true
"""

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
    profile = tmp_path / "profile"
    profile.mkdir()
    (profile / "config.yaml").write_text(PROFILE)
    shutil.copy(STATUS_SCRIPT, profile / "status.py")
    (tmp_path / "Snakefile").write_text(SNAKEFILE)
    return tmp_path


def test_profile_runs_jobs_side_by_side_and_notices_every_failure(slurm_env, study):
    # CI=true makes Snakemake poll job status every second instead of every 10 s.
    env = dict(slurm_env, CI="true")
    run = subprocess.run([SNAKEMAKE, "--profile", str(study / "profile")], cwd=study,
                         env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True, timeout=120)
    assert run.returncode == 1, run.stdout
    assert sorted(p.name for p in study.glob("*.txt")) == ["a.txt", "b.txt"], run.stdout
    for rule in ("bad", "cancelled"):
        assert f"Error executing rule {rule} on cluster" in run.stdout
    log = lambda pattern: next((study / "logs" / "slurm").glob(pattern)).read_text()
    assert "out-a" in log("pair-name=a-*.log") and "err-a" in log("pair-name=a-*.log")
    assert "about to fail" in log("bad--*.log")
    assert squeue(env) == ""


def test_interrupt_cancels_the_jobs_in_the_queue(slurm_env, study):
    (study / "Snakefile").write_text(
        'rule long:\n    output: "long.txt"\n    shell: "touch started; sleep 120; touch {output}"\n')
    env = dict(slurm_env, CI="true")
    run = subprocess.Popen([SNAKEMAKE, "--profile", str(study / "profile")], cwd=study,
                           env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 60
        while not (study / "started").exists():
            assert time.monotonic() < deadline and run.poll() is None
            time.sleep(0.1)
        # Ctrl-C cancels through cluster-cancel; SIGTERM would wait for the job.
        run.send_signal(signal.SIGINT)
        assert run.wait(timeout=30) != 0
    finally:
        if run.poll() is None:
            run.kill()
    deadline = time.monotonic() + 20
    while squeue(env):
        assert time.monotonic() < deadline, squeue(env)
        time.sleep(0.1)
