"""The study command with the cluster profile, on a one-node Slurm cluster
brought up by the test: replicates and their samplers submitted in groups,
the same tables as a local run but for the times, and a failed replicate or
sampler run reported by its folder while the rest of its group is kept."""

import re
import subprocess


import tables
from conftest import REPO, SAMPLER_RULES, SNAKEMAKE, TINY_BASE, replicate_jobs_planned, run_study, write_study


def run_on_cluster(slurm_env, study, outdir):
    command = SNAKEMAKE + ["-s", "workflow/Snakefile", "--cores", "2", "--configfile", str(study),
                           "--directory", str(outdir), "--profile", "profiles/slurm"]
    # CI=true makes Snakemake ask for job states every second instead of every 10 s.
    return subprocess.run(command, cwd=REPO, env=dict(slurm_env, CI="true"), stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, timeout=600)


def test_replicates_go_in_groups_and_give_the_tables_of_a_local_run(tmp_path, built, slurm_env):
    study = write_study(tmp_path / "study.yaml", replicates=21, base=TINY_BASE, sweep={"h2": [0.3, 0.6]},
                        methods=["snpblup", {"bayescpi": {"iterations": 100}}], scratch=True)
    run_study(tmp_path / "local", study)
    done = run_on_cluster(slurm_env, study, tmp_path / "cluster")
    assert done.returncode == 0, done.stdout[-4000:]
    # 42 replicates, each with its sampler, in groups of at most 20; tables, figures and report stay local.
    assert len(re.findall(r"^Submitted group job ", done.stdout, flags=re.M)) == 3
    assert "Submitted job" not in done.stdout
    assert len(list((tmp_path / "cluster" / "logs" / "slurm").glob("replicates-*.out"))) == 3
    for name in ("replicates.tsv", "summary.tsv", "differences.tsv"):
        local, cluster = (tables.read_tsv(tmp_path / where / "results" / name) for where in ("local", "cluster"))
        for row in local + cluster:
            for column in tables.TIMES:
                row.pop(column, None)
        assert cluster == local, name
    assert (tmp_path / "cluster" / "results" / "report.html").is_file()


def test_a_failed_replicate_or_sampler_is_reported_by_its_folder_and_its_group_goes_on(tmp_path, built, slurm_env):
    # Effects of 1e30 overflow single precision: the simulator refuses them;
    # snpbayes refuses one training record, where kolber goes on.
    study = write_study(tmp_path / "study.yaml", replicates=2, base=TINY_BASE,
                        sweep={"snp_range": [1.0e30, 10], "nrec": [1, 60]},
                        methods=["snpblup", {"bayescpi": {"iterations": 100}}])
    done = run_on_cluster(slurm_env, study, tmp_path / "out")
    assert done.returncode != 0
    assert len(re.findall(r"^Submitted group job ", done.stdout, flags=re.M)) == 1
    report = "tarvox.log: ? Input Error: ? sim_var = inf exceeds single precision"
    assert "4 replicates failed; the folder keeps the programs' consoles:" in done.stdout
    assert "2 sampler runs failed; the folder keeps the programs' consoles:" in done.stdout
    runs = tmp_path / "out" / "runs"
    for r in (1, 2):
        for nrec in (1, 60):
            assert f"  runs/snp_range=1e+30_nrec={nrec}/rep_00{r}: {report}" in done.stdout
            assert (runs / f"snp_range=10_nrec={nrec}" / f"rep_00{r}" / "replicate.json").is_file()
        assert (f"  runs/snp_range=10_nrec=1/rep_00{r}/bayescpi: snpbayes.log: snpbayes: SNP_setup: nrec = 1, the "
                "sampler needs 2 training records or more") in done.stdout
        assert (runs / "snp_range=10_nrec=60" / f"rep_00{r}" / "bayescpi" / "method.json").is_file()
    # The finished jobs count as done: only the failed ones (and the samplers of failed replicates) would run again.
    dry = run_study(tmp_path / "out", study, "--dry-run")
    assert replicate_jobs_planned(dry.stdout) == 4, dry.stdout[-3000:]
    assert replicate_jobs_planned(dry.stdout, SAMPLER_RULES) == 6, dry.stdout[-3000:]
