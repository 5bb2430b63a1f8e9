"""The study command with the cluster profile, on a one-node Slurm cluster
brought up by the test: replicates submitted in groups, the same tables as a
local run but for the times, and a failed replicate reported by its folder
while the rest of its group is kept."""

import re
import subprocess

import yaml

import tables
from conftest import REPO, SNAKEMAKE, TINY_BASE, replicate_jobs_planned, run_study


def run_on_cluster(slurm_env, study, outdir):
    command = SNAKEMAKE + ["-s", "workflow/Snakefile", "--cores", "2", "--configfile", str(study),
                           "--directory", str(outdir), "--profile", "profiles/slurm"]
    # CI=true makes Snakemake ask for job states every second instead of every 10 s.
    return subprocess.run(command, cwd=REPO, env=dict(slurm_env, CI="true"), stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, timeout=600)


def write_study(path, **study):
    path.write_text(yaml.safe_dump(study, sort_keys=False))
    return path


def test_replicates_go_in_groups_and_give_the_tables_of_a_local_run(tmp_path, built, slurm_env):
    study = write_study(tmp_path / "study.yaml", replicates=21, base=TINY_BASE, sweep={"h2": [0.3, 0.6]})
    run_study(tmp_path / "local", study)
    done = run_on_cluster(slurm_env, study, tmp_path / "cluster")
    assert done.returncode == 0, done.stdout[-4000:]
    # 42 replicates in groups of at most 20; tables, figures and report stay local.
    assert len(re.findall(r"^Submitted group job ", done.stdout, flags=re.M)) == 3
    assert "Submitted job" not in done.stdout
    assert len(list((tmp_path / "cluster" / "logs" / "slurm").glob("replicates-*.out"))) == 3
    for name in ("replicates.tsv", "summary.tsv"):
        local, cluster = (tables.read_tsv(tmp_path / where / "results" / name) for where in ("local", "cluster"))
        for row in local + cluster:
            for column in tables.TIME_COLUMNS:
                row.pop(column, None)
        assert cluster == local, name
    assert (tmp_path / "cluster" / "results" / "report.html").is_file()


def test_a_failed_replicate_is_reported_by_its_folder_and_its_group_goes_on(tmp_path, built, slurm_env):
    # Effects of 1e30 overflow single precision: the simulator refuses them.
    study = write_study(tmp_path / "study.yaml", replicates=3, base=TINY_BASE, sweep={"snp_range": [1.0e30, 10]})
    done = run_on_cluster(slurm_env, study, tmp_path / "out")
    assert done.returncode != 0
    assert len(re.findall(r"^Submitted group job ", done.stdout, flags=re.M)) == 1
    report = "tarvox.log: ? Input Error: ? sim_var = inf exceeds single precision"
    assert "3 replicates failed; the folder keeps the programs' consoles:" in done.stdout
    for r in (1, 2, 3):
        assert f"  runs/snp_range=1e+30/rep_00{r}: {report}" in done.stdout
        assert (tmp_path / "out" / "runs" / "snp_range=10" / f"rep_00{r}" / "replicate.json").is_file()
    # The finished replicates count as done: only the failed ones would run again.
    dry = run_study(tmp_path / "out", study, "--dry-run")
    assert replicate_jobs_planned(dry.stdout) == 3, dry.stdout[-3000:]
