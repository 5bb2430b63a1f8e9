"""Node-local scratch: with `scratch: true` the programs write SNP_data under
the job's TMPDIR and only the small files (and the PLINK fileset) land in
OUTDIR. The proof: OUTDIR on a file system too small for one SNP_data."""

import contextlib
import os
import subprocess

import pytest

import tables
from conftest import TINY_BASE, replicate_jobs_run, run_study, write_study

# 3000 records of 1000 SNPs: SNP_data is 6 MB; what lands is about 1 MB a replicate.
BIG = {**TINY_BASE, "n_snp": 1000, "n_qtl": 50, "nrec": 1500}
OUTDIR_BYTES = 4 * 1024 * 1024


@contextlib.contextmanager
def small_file_system(path, size):
    """A tmpfs of `size` bytes mounted on `path` while the block runs."""
    path.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(path)],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if mounted.returncode != 0:
        pytest.skip(f"cannot mount a small file system for OUTDIR here: {mounted.stdout.strip()}")
    try:
        yield path
    finally:
        subprocess.run(["umount", str(path)], check=True)


def test_snp_data_never_reaches_outdir(tmp_path, built):
    scratch = tmp_path / "scratch"
    scratch.mkdir()
    env = dict(os.environ, TMPDIR=str(scratch))
    study = dict(replicates=2, base=BIG, sweep={"snp_range": [10, 1.0e30]}, export_plink=True)
    with small_file_system(tmp_path / "small", OUTDIR_BYTES) as small:
        # Without scratch the first SNP_data fills the file system.
        full = run_study(small / "out", write_study(tmp_path / "s.yaml", **study), "--keep-going", check=False,
                         env=env)
        assert full.returncode != 0
        assert "No space left on device" in (small / "out" / "runs" / "snp_range=10" / "rep_001" / "tarvox.log"
                                             ).read_text()
        subprocess.run(["rm", "-rf", str(small / "out")], check=True)
        done = run_study(small / "out", write_study(tmp_path / "s.yaml", **study, scratch=True), "--keep-going",
                         check=False, env=env)
        out = small / "out"
        for r in ("rep_001", "rep_002"):
            folder = out / "runs" / "snp_range=10" / r
            assert sorted(p.name for p in folder.iterdir()) == sorted(
                ["par_tarvox", "SNP_setup", "SNP_results", "tarvox.log", "kolber.log", "snp2plink.log",
                 "replicate.json", "plink.bed", "plink.bim", "plink.fam", "plink.bv", "plink.train",
                 "plink.indep", "plink.effects"])
            assert len((folder / "plink.bed").read_bytes()) == 3 + BIG["n_snp"] * (2 * BIG["nrec"] // 4)
            # A failed replicate leaves its consoles in its folder, nothing on scratch.
            failed = out / "runs" / "snp_range=1e+30" / r
            assert sorted(p.name for p in failed.iterdir()) == ["kolber.log", "par_tarvox", "snp2plink.log",
                                                                 "tarvox.log"]
            assert "? sim_var = inf exceeds single precision" in (failed / "tarvox.log").read_text()
        assert "2 replicates failed" in done.stdout
    assert list(scratch.iterdir()) == []


def test_scratch_is_not_part_of_what_a_replicate_is(tmp_path, built):
    study = write_study(tmp_path / "s.yaml", replicates=2, base=TINY_BASE)
    run_study(tmp_path / "out", study)
    rows = tables.read_tsv(tmp_path / "out" / "results" / "replicates.tsv")
    again = run_study(tmp_path / "out", write_study(tmp_path / "s.yaml", replicates=2, base=TINY_BASE, scratch=True))
    assert replicate_jobs_run(again.stdout) == 0
    assert tables.read_tsv(tmp_path / "out" / "results" / "replicates.tsv") == rows


def test_a_job_ended_by_slurm_leaves_nothing_on_scratch(tmp_path, built):
    # Slurm ends a job with SIGTERM; here while tarvox writes a 40 MB SNP_data.
    import json
    import signal
    import sys
    import time

    import replicate

    scratch, folder = tmp_path / "scratch", tmp_path / "rep_001"
    scratch.mkdir()
    folder.mkdir()
    parameters = {**TINY_BASE, "n_snp": 2000, "n_qtl": 50, "nrec": 10000}
    job = subprocess.Popen([sys.executable, "-S", "-E", replicate.__file__, "run", "--scratch", str(folder), "0",
                            "true", json.dumps(parameters)], env=dict(os.environ, TMPDIR=str(scratch)),
                           stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 30
    while not list(scratch.glob("*/SNP_setup")) and time.monotonic() < deadline and job.poll() is None:
        time.sleep(0.002)
    job.send_signal(signal.SIGTERM)
    assert job.wait(timeout=30) == 128 + signal.SIGTERM, job.stderr.read()
    assert list(scratch.iterdir()) == []
    assert not (folder / replicate.RECORD).exists() and (folder / "tarvox.log").exists()
