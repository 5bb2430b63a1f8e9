"""Studies of several methods end to end: every method on every replicate's
SNP_data, made again bit for bit where a sampler runs; the estimated ratio;
re-created, grown by a method, and failing one method at a time."""

import json
import re

import pytest
import yaml

import methods
import replicate
import sampler
import study as study_file
import tables
from conftest import (SAMPLER_RULES, TINY_BASE, read_report, recreate, replicate_jobs_planned, replicate_jobs_run,
                      run_on_scratch, run_study, write_study)


METHODS = ["snpblup", {"bayescpi": {"iterations": 400}}, {"brr": {"iterations": 400}}]


@pytest.fixture(scope="module")
def methods_study(tmp_path_factory, built):
    """Two grid points, two replicates, SNP-BLUP at the ratio brr estimates,
    BayesCπ and brr, SNP_data on scratch; run once."""
    return run_on_scratch(tmp_path_factory.mktemp("methods"), replicates=2, base=TINY_BASE, sweep={"nrec": [60, 90]},
                          ratio="estimated", methods=METHODS)


def test_every_method_of_every_replicate_has_its_row_and_files(methods_study):
    root, _, first = methods_study
    out = root / "out"
    assert replicate_jobs_run(first.stdout) == 4 and replicate_jobs_run(first.stdout, SAMPLER_RULES) == 8
    rows = tables.read_tsv(out / "results" / "replicates.tsv")
    assert [(r["nrec"], r["replicate"], r["method"]) for r in rows[:4]] == [
        ("60", "1", "snpblup"), ("60", "1", "bayescpi"), ("60", "1", "brr"), ("60", "2", "snpblup")]
    assert len(rows) == 12 and not list(out.rglob("SNP_data"))
    checked = study_file.check(yaml.safe_load((root / "study.yaml").read_text()))
    seeds = {m.label: m for m in methods.of(checked)}
    for r in rows:
        folder = out / r["dir"]
        if r["method"] == "snpblup":
            assert r["seed"] == "" and r["expected_ridge"] != ""
            continue
        assert int(r["seed"]) == seeds[r["method"]].seed(int(r["replicate"])) and r["expected_ridge"] == ""
        for name in replicate.method_files(r["method"]):
            assert (folder / name).is_file(), folder / name
        record = json.loads((folder / r["method"] / replicate.METHOD_RECORD).read_text())
        assert record["data_sha256"] == json.loads((folder / replicate.RECORD).read_text())["data_sha256"]
        assert "SNP_data made again in" in (folder / r["method"] / replicate.METHOD_LOG).read_text()
    summary = tables.read_tsv(out / "results" / "summary.tsv")
    assert [(s["nrec"], s["method"], s["n"]) for s in summary[:3]] == [("60", "snpblup", "2"), ("60", "bayescpi", "2"),
                                                                       ("60", "brr", "2")]
    differences = tables.read_tsv(out / "results" / "differences.tsv")
    assert [(d["nrec"], d["method"], d["reference"], d["n"]) for d in differences] == [
        ("60", "bayescpi", "snpblup", "2"), ("60", "brr", "snpblup", "2"), ("90", "bayescpi", "snpblup", "2"),
        ("90", "brr", "snpblup", "2")]


def test_the_report_shows_every_method(methods_study):
    root, _, _ = methods_study
    results = root / "out" / "results"
    page = read_report(results / "report.html")
    assert len(page.images) == 4  # accuracy, differences, replicate 1 of both grid points
    assert page.tables == 6 and page.scripts == 0 and page.links == []
    header = (results / "differences.tsv").read_text().splitlines()[0].split("\t")
    assert all(h in page.headers for h in header)
    for name in ("differences.png", "differences.svg", "accuracy.svg"):
        assert (results / name).stat().st_size > 1000


def test_the_estimated_ratio_is_brrs_posterior_ratio_on_the_same_data(methods_study):
    root, _, _ = methods_study
    rows = tables.read_tsv(root / "out" / "results" / "replicates.tsv")
    for blup, _, brr in zip(rows[::3], rows[1::3], rows[2::3]):
        # The study's brr entry estimates the ratio: the same chain, settings and seed.
        assert float(blup["ratio"]) == pytest.approx(float(brr["var_e"]) / float(brr["var_b"]), rel=1e-9)
        assert blup["ratio_true"] == brr["ratio_true"] and float(blup["ratio_true"]) != float(blup["ratio"])
        folder = root / "out" / blup["dir"]
        assert (sampler.comparable(str(folder / "ratio_brr.json")) == sampler.comparable(str(folder / "brr" /
                                                                                                 "brr.json")))


def test_second_run_does_nothing(methods_study):
    root, study, _ = methods_study
    assert "Nothing to be done" in run_study(root / "out", study).stdout


def test_a_bayesian_replicate_is_recreated_bit_for_bit(methods_study, tmp_path):
    root, _, _ = methods_study
    run = root / "out" / "runs" / "nrec=90" / "rep_002"
    done = recreate(run, tmp_path / "again")
    assert done.returncode == 0, done.stdout
    compared, note = done.stdout.split(": ", 1)[1].split(" identical ")
    assert compared.split(", ") == ["SNP_setup", "SNP_results"] + [
        f"{prefix}.{suffix}" for prefix in ("ratio_brr", "bayescpi/bayescpi", "brr/brr") for suffix in sampler.SUFFIXES]
    assert note == "(snpbayes' PREFIX.json but for kernel, seconds, ms_per_iteration)\n"
    for name in ("SNP_setup", "SNP_results", "bayescpi/bayescpi.effects", "bayescpi/bayescpi.gbv",
                 "bayescpi/bayescpi.trace", "brr/brr.trace"):
        assert (tmp_path / "again" / name).read_bytes() == (run / name).read_bytes()


def test_adding_a_method_runs_that_method_alone(tmp_path, built):
    study = write_study(tmp_path / "s.yaml", replicates=2, base=TINY_BASE)
    run_study(tmp_path / "out", study)
    records = {p: p.stat().st_mtime_ns for p in (tmp_path / "out" / "runs").rglob(replicate.RECORD)}
    grown = run_study(tmp_path / "out", write_study(tmp_path / "s.yaml", replicates=2, base=TINY_BASE,
                                                    methods=["snpblup", {"bayesr": {"iterations": 200}}]))
    assert replicate_jobs_run(grown.stdout) == 0 and replicate_jobs_run(grown.stdout, SAMPLER_RULES) == 2
    assert {p: p.stat().st_mtime_ns for p in records} == records
    rows = tables.read_tsv(tmp_path / "out" / "results" / "replicates.tsv")
    assert [r["method"] for r in rows] == ["snpblup", "bayesr"] * 2
    # Those replicates recorded no digest of SNP_data: the sampler checked the simulator and SNP_setup instead.
    assert ", by the replicate's simulator (SHA-256 " in (tmp_path / "out" / rows[1]["dir"] / "bayesr" /
                                                         replicate.METHOD_LOG).read_text()
    assert len(tables.read_tsv(tmp_path / "out" / "results" / "differences.tsv")) == 1


def test_without_snpblup_the_replicate_runs_the_simulator_alone(tmp_path, built):
    study = write_study(tmp_path / "s.yaml", replicates=1, base=TINY_BASE, keep_data=True,
                        methods=[{"brr": {"iterations": 200}}])
    run_study(tmp_path / "out", study)
    folder = tmp_path / "out" / "runs" / "base" / "rep_001"
    assert sorted(p.name for p in folder.iterdir()) == ["SNP_data", "SNP_setup", "brr", "par_tarvox",
                                                        "replicate.json", "tarvox.log"]
    # With keep_data the sampler reads the landed SNP_data: nothing is made again.
    assert not (folder / "brr" / "tarvox.log").exists()
    assert (folder / "brr" / replicate.METHOD_LOG).read_text().startswith("SNP_data landed: SHA-256 ")
    [row] = tables.read_tsv(tmp_path / "out" / "results" / "replicates.tsv")
    assert (row["method"], row["ratio"], row["kolber_sha256"]) == ("brr", "", "")
    assert not (tmp_path / "out" / "results" / "differences.tsv").exists()
    # snpblup added: the replicate's job runs again for SNP_results; the sampler's results stand.
    stamp = (folder / "brr" / replicate.METHOD_RECORD).stat().st_mtime_ns
    grown = run_study(tmp_path / "out", write_study(tmp_path / "s.yaml", replicates=1, base=TINY_BASE, keep_data=True,
                                                    methods=[{"brr": {"iterations": 200}}, "snpblup"]))
    assert replicate_jobs_run(grown.stdout) == 1 and replicate_jobs_run(grown.stdout, SAMPLER_RULES) == 0
    assert (folder / "brr" / replicate.METHOD_RECORD).stat().st_mtime_ns == stamp
    assert [r["method"] for r in tables.read_tsv(tmp_path / "out" / "results" / "replicates.tsv")] == ["brr",
                                                                                                       "snpblup"]


def test_a_failing_sampler_fails_its_own_job_and_the_others_results_stay(tmp_path, built):
    # snpbayes needs two training records; kolber and the other grid point go on.
    study = write_study(tmp_path / "s.yaml", replicates=1, base=TINY_BASE, sweep={"nrec": [1, 60]},
                        methods=["snpblup", {"bayescpi": {"iterations": 100}}])
    done = run_study(tmp_path / "out", study, "--keep-going", check=False)
    assert done.returncode != 0 and "Error in rule first_sampler" in done.stdout
    assert ("1 sampler run failed; the folder keeps the programs' consoles:\n  runs/nrec=1/rep_001/bayescpi: "
            "snpbayes.log: snpbayes: SNP_setup: nrec = 1, the sampler needs 2 training records or more") in done.stdout
    runs = tmp_path / "out" / "runs"
    assert (runs / "nrec=1" / "rep_001" / replicate.RECORD).is_file()
    assert (runs / "nrec=60" / "rep_001" / "bayescpi" / replicate.METHOD_RECORD).is_file()
    dry = run_study(tmp_path / "out", study, "--dry-run")
    assert replicate_jobs_planned(dry.stdout) == 0 and replicate_jobs_planned(dry.stdout, SAMPLER_RULES) == 1


def test_a_sampler_refuses_data_that_are_not_its_replicates(tmp_path, built):
    folder = tmp_path / "rep_001"
    folder.mkdir()
    (folder / "par_tarvox").write_text(study_file.par_tarvox_text(TINY_BASE))
    record = replicate.run(str(folder), 496, True, digest=True)
    settings = methods.Method(methods.sampler("brr")).run_settings(1)
    other_build = {**record["build"], "sha256": {**record["build"]["sha256"], "tarvox": "0" * 64}}
    setup = (folder / "SNP_setup").read_text()
    for change, message in (
            ({"data_sha256": "0" * 64}, f"SNP_data made again in {folder}/.snp-scratch-"),
            # Without a digest (a study that had no sampler): the same simulator, and SNP_setup byte for byte.
            ({"data_sha256": None, "build": other_build}, "no digest of SNP_data (its study had no sampler when it "
                                                          "ran), and the simulator is not the one that made it"),
            ({"data_sha256": None, "setup": setup.replace("0", "1", 1)}, "SNP_setup made again in ")):
        (folder / "SNP_setup").write_text(change.pop("setup", setup))
        replicate.write_record(str(folder / replicate.RECORD), {**record, **change})
        with pytest.raises(replicate.ReplicateError, match=re.escape(message)):
            replicate.run_method(str(folder), "brr", 496, TINY_BASE, settings)
    assert sorted(p.name for p in folder.iterdir()) == ["SNP_results", "SNP_setup", "brr", "kolber.log",
                                                        "par_tarvox", "replicate.json", "tarvox.log"]


START = "snpbayes: brr, 40 SNPs x 60 training records, 400 iterations (burn-in 80, thin 10), seed 1, kernel avx512\n"


@pytest.mark.parametrize("consoles, report", [
    ({"snpbayes.log": START + "  40 iterations\nsnpbayes: brr/brr.gbv: cannot write (No space left on device)\n"},
     "snpbayes.log: snpbayes: brr/brr.gbv: cannot write (No space left on device)"),
    ({"snpbayes.log": START + "  40 iterations\n"}, None),  # cut off: no report, as a replicate cut off has none
    ({"method.log": "failed: SNP_data made again in /tmp/x has SHA-256 0, not the replicate's 1\n"},
     "method.log: failed: SNP_data made again in /tmp/x has SHA-256 0, not the replicate's 1"),
    ({"tarvox.log": "? Input Error:\n? sim_var = inf\n", "snpbayes.log": START},
     "tarvox.log: ? Input Error: ? sim_var = inf"),
    ({"snpbayes.log": "snpbayes: SNP_setup: nrec = 1\n", "method.json": "{}"}, None),  # finished after all
])
def test_a_failed_sampler_run_is_reported_by_its_consoles_report_lines(tmp_path, consoles, report):
    (tmp_path / "brr").mkdir()
    for name, text in consoles.items():
        (tmp_path / "brr" / name).write_text(text)
    assert replicate.method_failure(str(tmp_path), "brr") == report
