"""The study command end to end on small studies: the real programs, run
twice, grown, re-created, refused and failing."""

import base64
import os
import signal
import subprocess
import time

import pytest
import yaml

import tables
from conftest import (REPO, SNAKEMAKE, TINY_BASE, read_report, recreate, replicate_jobs_planned, replicate_jobs_run,
                      run_on_scratch, run_study, write_study)


@pytest.fixture(scope="module")
def small_study(tmp_path_factory, built):
    """Two grid points, two replicates, SNP_data made on scratch and kept; run once."""
    return run_on_scratch(tmp_path_factory.mktemp("study"), replicates=2, base=TINY_BASE, sweep={"nrec": [60, 90]},
                          keep_data=True)


def test_every_replicate_has_its_folder_and_row(small_study):
    root, _, first = small_study
    out = root / "out"
    assert replicate_jobs_run(first.stdout) == 4
    rows = tables.read_tsv(out / "results" / "replicates.tsv")
    assert [(r["nrec"], r["replicate"], r["warmup"]) for r in rows] == [
        ("60", "1", "0"), ("60", "2", "996"), ("90", "1", "0"), ("90", "2", "996")]
    for r in rows:
        folder = out / r["dir"]
        for name in ("par_tarvox", "SNP_setup", "SNP_data", "SNP_results", "tarvox.log", "kolber.log"):
            assert (folder / name).is_file(), folder / name
        assert f"corr(s_bv,g_bv):{float(r['acc_indep']):.3f}" in (folder / "kolber.log").read_text()
        assert float(r["ratio"]) > 0 and 0 < float(r["slope_indep"]) < 2
    summary = tables.read_tsv(out / "results" / "summary.tsv")
    assert [(s["nrec"], s["n"]) for s in summary] == [("60", "2"), ("90", "2")]
    for name in ("accuracy.png", "accuracy.svg", "replicate_001/nrec=60.png", "replicate_001/nrec=90.png"):
        assert (out / "results" / name).stat().st_size > 1000


def test_second_run_does_nothing(small_study):
    root, study, _ = small_study
    table = root / "out" / "results" / "replicates.tsv"
    before = (table.read_bytes(), table.stat().st_mtime_ns)
    again = run_study(root / "out", study)
    assert "Nothing to be done" in again.stdout
    assert (table.read_bytes(), table.stat().st_mtime_ns) == before


def test_a_replicate_is_recreated_bit_for_bit(small_study, tmp_path):
    root, _, _ = small_study
    run = root / "out" / "runs" / "nrec=90" / "rep_002"
    done = recreate(run, tmp_path / "again")
    assert done.returncode == 0, done.stdout
    assert "SNP_setup, SNP_data, SNP_results identical" in done.stdout
    for name in ("SNP_setup", "SNP_data", "SNP_results"):
        assert (tmp_path / "again" / name).read_bytes() == (run / name).read_bytes()


def test_added_replicates_run_alone_and_keep_the_earlier_ones(tmp_path, built):
    study = write_study(tmp_path / "s.yaml", replicates=1, base=TINY_BASE)
    run_study(tmp_path / "out", study)
    first = tmp_path / "out" / "runs" / "base" / "rep_001" / "SNP_results"
    stamp = first.stat().st_mtime_ns
    assert not (first.parent / "SNP_data").exists()  # deleted once kolber has read it
    grown = run_study(tmp_path / "out", write_study(tmp_path / "s.yaml", replicates=3, base=TINY_BASE))
    assert replicate_jobs_run(grown.stdout) == 2
    assert first.stat().st_mtime_ns == stamp
    rows = tables.read_tsv(tmp_path / "out" / "results" / "replicates.tsv")
    assert [r["warmup"] for r in rows] == ["0", "996", "496"]
    assert tables.read_tsv(tmp_path / "out" / "results" / "summary.tsv")[0]["n"] == "3"


@pytest.mark.parametrize("change, message", [
    ({"replicates": 300}, "replicates = 300: a whole number from 1 to 250 is accepted"),
    ({"sweep": {"nrec": []}}, "sweep.nrec = []: a list of at least one value is accepted"),
    ({"base": {**TINY_BASE, "n_qtl": 99}}, "n_qtl = 99: with snp_range above 1, from 1 to n_snp = 40"),
    ({"colour": "blue"}, "unknown key 'colour'"),
])
def test_a_bad_study_file_stops_before_anything_runs(tmp_path, change, message):
    study = write_study(tmp_path / "bad.yaml", **{"replicates": 2, "base": TINY_BASE, **change})
    done = run_study(tmp_path / "out", study, check=False)
    assert done.returncode != 0
    assert f"Bad study file {study}: {message}" in done.stdout
    assert not (tmp_path / "out" / "runs").exists()


def test_a_failing_replicate_fails_its_job_and_the_others_go_on(tmp_path, built):
    # Effects of 1e30 overflow single precision: the simulator refuses them.
    study = write_study(tmp_path / "s.yaml", replicates=1, base=TINY_BASE, sweep={"snp_range": [10, 1.0e30]})
    done = run_study(tmp_path / "out", study, "--keep-going", check=False)
    assert done.returncode != 0
    report = "? sim_var = inf exceeds single precision"
    assert report in done.stdout and "Error in rule first_replicate" in done.stdout
    assert report in (tmp_path / "out" / "runs" / "snp_range=1e+30" / "rep_001" / "tarvox.log").read_text()
    assert (tmp_path / "out" / "runs" / "snp_range=10" / "rep_001" / "replicate.json").is_file()


def dry_run_jobs(tmp_path, study=None):
    done = run_study(tmp_path / "out", study, "--dry-run")
    return replicate_jobs_planned(done.stdout)


def test_the_example_study_runs_without_a_study_file(tmp_path):
    example = yaml.safe_load((REPO / "config" / "config.yaml").read_text())
    grid = 1
    for values in example["sweep"].values():
        grid *= len(values)
    assert dry_run_jobs(tmp_path) == grid * example["replicates"]


def test_a_study_file_is_the_whole_study(tmp_path):
    # The example sweeps; a study without a sweep must not inherit it.
    assert dry_run_jobs(tmp_path, write_study(tmp_path / "s.yaml", replicates=4, base=TINY_BASE)) == 4


def test_each_replicate_can_be_exported_to_plink(tmp_path, built):
    study = write_study(tmp_path / "s.yaml", replicates=2, base=TINY_BASE, export_plink=True)
    run_study(tmp_path / "out", study)
    for rep in ("rep_001", "rep_002"):
        folder = tmp_path / "out" / "runs" / "base" / rep
        bed = (folder / "plink.bed").read_bytes()
        records = 2 * TINY_BASE["nrec"]
        assert bed[:3] == b"\x6c\x1b\x01" and len(bed) == 3 + TINY_BASE["n_snp"] * -(-records // 4)
        assert len((folder / "plink.fam").read_text().splitlines()) == records
        assert len((folder / "plink.train").read_text().splitlines()) == TINY_BASE["nrec"]
        assert not (folder / "SNP_data").exists()  # deleted once exported


def test_an_interrupted_study_resumes_where_it_stopped(tmp_path, built):
    base = {**TINY_BASE, "n_snp": 500, "n_qtl": 20, "nrec": 1000}
    study = write_study(tmp_path / "s.yaml", replicates=10, base=base)
    command = [*SNAKEMAKE, "-s", "workflow/Snakefile", "--cores", "2", "--configfile", str(study),
               "--directory", str(tmp_path / "out")]
    # A terminal's Ctrl-C: SIGINT to the whole process group.
    run = subprocess.Popen(command, cwd=REPO, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           start_new_session=True, preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    runs = tmp_path / "out" / "runs" / "base"
    deadline = time.monotonic() + 120
    while len(list(runs.glob("*/replicate.json"))) < 3 and time.monotonic() < deadline and run.poll() is None:
        time.sleep(0.05)
    os.killpg(run.pid, signal.SIGINT)
    assert run.wait(timeout=60) != 0
    done = {p: p.stat().st_mtime_ns for p in runs.glob("*/replicate.json")}
    assert 3 <= len(done) < 10
    # Snakemake asks for --rerun-incomplete when a job was cut off in the middle.
    resumed = run_study(tmp_path / "out", study, "--rerun-incomplete")
    assert replicate_jobs_run(resumed.stdout) <= 10 - len(done) + 2
    assert len(tables.read_tsv(tmp_path / "out" / "results" / "replicates.tsv")) == 10
    kept = [p for p, stamp in done.items() if p.exists() and p.stat().st_mtime_ns == stamp]
    assert len(kept) >= len(done) - 2
    assert "Nothing to be done" in run_study(tmp_path / "out", study).stdout


def test_the_report_holds_the_study_its_figures_and_tables_offline(small_study):
    root, _, _ = small_study
    results = root / "out" / "results"
    page = read_report(results / "report.html")
    # The accuracy figure and replicate 1 of both grid points, as the PNG files themselves.
    figures = [results / "accuracy.png", results / "replicate_001" / "nrec=60.png",
               results / "replicate_001" / "nrec=90.png"]
    assert page.images == ["data:image/png;base64," + base64.b64encode(f.read_bytes()).decode() for f in figures]
    assert page.scripts == 0 and page.links == []
    assert page.tables == 5  # the grid, the methods, summary.tsv, replicates.tsv, the builds
    for table in ("summary.tsv", "replicates.tsv"):
        header = (results / table).read_text().splitlines()[0].split("\t")
        assert all(h in page.headers for h in header), table
    text = (results / "report.html").read_text()
    assert "Replicate 1 at nrec = 90 (<code>runs/nrec=90/rep_001</code>" in text
    assert "keep_data: true" in text  # the study as run
