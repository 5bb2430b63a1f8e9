"""The study command with the cluster profile, on a one-node Slurm cluster
brought up by the test: the same tables as a local run, but for the times."""

import subprocess

import yaml

import tables
from conftest import REPO, SNAKEMAKE, TINY_BASE, run_study


def test_cluster_run_gives_the_tables_of_a_local_run(tmp_path, built, slurm_env):
    study = tmp_path / "study.yaml"
    study.write_text(yaml.safe_dump({"replicates": 2, "base": TINY_BASE, "sweep": {"h2": [0.3, 0.6]}}))
    run_study(tmp_path / "local", study)
    command = SNAKEMAKE + ["-s", "workflow/Snakefile", "--cores", "2", "--configfile", str(study),
                           "--directory", str(tmp_path / "cluster"), "--profile", "profiles/slurm"]
    # CI=true makes Snakemake ask for job states every second instead of every 10 s.
    done = subprocess.run(command, cwd=REPO, env=dict(slurm_env, CI="true"), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=300)
    assert done.returncode == 0, done.stdout[-4000:]
    assert done.stdout.count("Submitted job") == 4  # the replicates; tables and figures stay local
    assert len(list((tmp_path / "cluster" / "logs" / "slurm").glob("replicate-*.out"))) == 4
    for name in ("replicates.tsv", "summary.tsv"):
        local, cluster = (tables.read_tsv(tmp_path / where / "results" / name) for where in ("local", "cluster"))
        for row in local + cluster:
            for column in tables.TIME_COLUMNS:
                row.pop(column, None)
        assert cluster == local, name
