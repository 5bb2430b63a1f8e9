"""profiles/slurm/status.py, the job status command, against the live cluster."""

import importlib.util
import subprocess
from pathlib import Path

import pytest

from slurm_cluster import wait_for_job

STATUS_SCRIPT = Path(__file__).resolve().parents[2] / "profiles" / "slurm" / "status.py"


def load_status_module():
    spec = importlib.util.spec_from_file_location("cluster_status", STATUS_SCRIPT)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def status(env, job_id):
    done = subprocess.run([str(STATUS_SCRIPT), job_id], env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, timeout=30)
    # Any other exit status would end the whole workflow.
    assert done.returncode == 0, done.stderr
    return done.stdout


def submit(env, cwd, script):
    return subprocess.run(["sbatch", "--parsable", "--wrap", script], env=env, cwd=cwd,
                          stdout=subprocess.PIPE, text=True, check=True,
                          timeout=60).stdout.strip()


@pytest.mark.parametrize("state, word", [
    ("PENDING", "running"),
    ("COMPLETING", "running"),  # ended, but its epilog and files may not be done
    ("REQUEUED", "running"),
    ("COMPLETED", "success"),
    ("TIMEOUT", "failed"),
    ("OUT_OF_MEMORY", "failed"),
    ("NODE_FAIL", "failed"),
])
def test_states_map_to_snakemake_words(state, word):
    assert load_status_module().status_of(state) == word


def test_finished_jobs(slurm_env, tmp_path):
    cases = [("true", "success\n"), ("exit 1", "failed\n"), ("kill -9 $$", "failed\n")]
    ids = [submit(slurm_env, tmp_path, script) for script, _ in cases]
    for job_id, (script, word) in zip(ids, cases):
        wait_for_job(slurm_env, job_id)
        assert status(slurm_env, job_id) == word, script
        assert status(slurm_env, job_id + ";cluster") == word, script


def test_waiting_and_cancelled_jobs(slurm_env, tmp_path):
    job_id = submit(slurm_env, tmp_path, "sleep 60")
    assert status(slurm_env, job_id) == "running\n"
    subprocess.run(["scancel", job_id], env=slurm_env, check=True)
    assert wait_for_job(slurm_env, job_id) == "CANCELLED"
    assert status(slurm_env, job_id) == "failed\n"


def test_id_the_controller_does_not_know_is_failed(slurm_env):
    assert status(slurm_env, "99999999") == "failed\n"
