import copy
from pathlib import Path

import pytest
from snakemake.exceptions import WorkflowError
from snakemake.utils import validate

import study
from conftest import TINY_BASE

SCHEMA = str(Path(__file__).resolve().parents[2] / "workflow" / "schemas" / "config.schema.yaml")


def make(**changes):
    s = {"replicates": 3, "base": dict(TINY_BASE)}
    for key, value in changes.items():
        if key in TINY_BASE:
            s["base"][key] = value
        else:
            s[key] = value
    return s


def without(key):
    s = make()
    s.pop(key, None)
    if "base" in s:
        s["base"].pop(key, None)
    return s


BAD = [
    ({**make(), "replicate": 3},
     "unknown key 'replicate': accepted are replicates, base, sweep, ratio, keep_data, export_plink, scratch"),
    (without("replicates"), "replicates is missing: a whole number from 1 to 250 is required"),
    (make(replicates=0), "replicates = 0: a whole number from 1 to 250 is accepted"),
    (make(replicates=251), "replicates = 251: a whole number from 1 to 250 is accepted"),
    (make(replicates=2.5), "replicates = 2.5: a whole number from 1 to 250 is accepted"),
    (without("base"), "base is missing: the eleven values n_snp, n_qtl, nprog, nrec, freq_min"),
    (without("h2"), "base.h2 is missing"),
    ({**make(), "base": {**TINY_BASE, "heritability": 0.3}}, "base: unknown key 'heritability'"),
    (make(n_snp=0), "base.n_snp = 0: at least 1 SNP and at most 1073741823 is accepted"),
    (make(nrec=0), "base.nrec = 0: from 1 to 499999 records per set"),
    (make(nrec=500000), "base.nrec = 500000: from 1 to 499999 records per set"),
    (make(nrec=True), "base.nrec = True: a whole number is accepted"),
    (make(nprog=-1), "base.nprog = -1: 0 (own records) or a positive number of progenies is accepted"),
    (make(var_a=0), "base.var_a = 0: a positive variance is accepted"),
    (make(h2=0.0), "base.h2 = 0.0: a heritability above 0 and at most 1 is accepted"),
    (make(h2=1.5), "base.h2 = 1.5: a heritability above 0 and at most 1 is accepted"),
    (make(freq_max=1.2), "base.freq_max = 1.2: a frequency from 0 to 1 is accepted"),
    (make(var_a="1e-5"), "base.var_a = '1e-5': a finite single-precision number is accepted (YAML reads 1e-5"),
    (make(mean=1.0e39), "base.mean = 1e+39: a finite single-precision number is accepted"),
    (make(seed=2**31), "base.seed = 2147483648: a 32-bit whole number is accepted"),
    (make(n_qtl=41), "n_qtl = 41: with snp_range above 1, from 1 to n_snp = 40 SNPs with an effect are accepted"),
    (make(n_qtl=0), "n_qtl = 0: with snp_range above 1, from 1 to n_snp = 40"),
    (make(freq_min=0.0, freq_max=0.0), "freq_max = 0.0: a frequency range that reaches between 0 and 1"),
    (make(sweep={"nrec": []}), "sweep.nrec = []: a list of at least one value is accepted"),
    (make(sweep={"nrec": 100}), "sweep.nrec = 100: a list of at least one value is accepted"),
    (make(sweep={"nrec": [100, 0]}), "sweep.nrec[2] = 0: from 1 to 499999 records per set"),
    (make(sweep={"nrec": [100, 100]}), "sweep.nrec = [100, 100]: every value may appear once"),
    (make(sweep={"records": [100]}), "sweep: unknown key 'records'"),
    (make(sweep={"n_snp": [40, 4]}), "n_qtl = 8 at the grid point n_snp=4: with snp_range above 1, from 1 to n_snp = 4"),
    (make(sweep={"ratio": [True, -1]}), "sweep.ratio[2] = -1: true (the simulation's own ratio) or a number"),
    (make(ratio=False), "ratio = False: true (the simulation's own ratio) or a number of at least 0 is accepted"),
    (make(ratio="high"), "ratio = 'high': true"),
    (make(keep_data="yes"), "keep_data = 'yes': true or false is accepted"),
    (make(export_plink=1), "export_plink = 1: true or false is accepted"),
    (make(scratch="/local/scratch"), "scratch = '/local/scratch': true or false is accepted (true: the job's "
                                     "temporary folder, Snakemake's tmpdir resource; name the folder with "
                                     "--default-resources \"tmpdir='/local/scratch'\")"),
]


@pytest.mark.parametrize("bad, message", BAD, ids=[m[:40] for _, m in BAD])
def test_bad_study_files_name_the_key_and_what_is_accepted(bad, message):
    with pytest.raises(study.StudyError) as refused:
        study.check(copy.deepcopy(bad))
    assert str(refused.value).startswith(message)


# What the schema can say alone (ranges, types, keys): it refuses these too.
SCHEMA_REFUSES = [bad for bad, message in BAD
                  if not message.startswith(("n_qtl", "freq_max = 0.0", "sweep.nrec = [100, 100]"))]


@pytest.mark.parametrize("bad", SCHEMA_REFUSES)
def test_the_schema_refuses_what_it_documents(bad):
    with pytest.raises(WorkflowError):
        validate(copy.deepcopy(bad), SCHEMA)


@pytest.mark.parametrize("good", [
    make(),
    make(sweep={"nrec": [60, 120], "h2": [0.3, 0.6], "ratio": [True, 0, 12.5]}),
    make(ratio=100, keep_data=True, snp_range=1, n_qtl=500, scratch=True),  # one effect: n_qtl is not used
    make(nprog=20, freq_min=0.5, freq_max=0.0),
])
def test_good_study_files_pass_both_checks_and_gain_defaults(good):
    checked = study.check(copy.deepcopy(good))
    validate(checked, SCHEMA)
    assert {"sweep", "ratio", "keep_data"} <= checked.keys()
    assert checked["ratio"] == good.get("ratio", True) and checked["keep_data"] == good.get("keep_data", False)


def test_grid_is_every_combination_first_key_slowest():
    points = study.grid(study.check(make(sweep={"nrec": [60, 120], "ratio": [True, 12.5]})))
    assert [p.name for p in points] == ["nrec=60_ratio=own", "nrec=60_ratio=12.5", "nrec=120_ratio=own",
                                        "nrec=120_ratio=12.5"]
    assert [(p.parameters["nrec"], p.ratio) for p in points] == [(60, True), (60, 12.5), (120, True), (120, 12.5)]
    assert all("ratio" not in p.parameters for p in points)


def test_no_sweep_is_one_grid_point():
    [point] = study.grid(study.check(make(ratio=3)))
    assert (point.name, point.ratio, point.swept) == ("base", 3, {})
    assert study.run_folder(point, 7) == "runs/base/rep_007"


def test_par_tarvox_pairs_labels_and_values():
    lines = study.par_tarvox_text(study.check(make(freq_min=0.05, h2=0.25))["base"]).splitlines()
    assert len(lines) == 20
    assert lines[1::2] == ["40", "8", "0", "60", "0.05 0.5", "10", "10", "0.25", "10", "1"]
