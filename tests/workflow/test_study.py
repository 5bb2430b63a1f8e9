import copy
import hashlib
from pathlib import Path

import pytest
from snakemake.exceptions import WorkflowError
from snakemake.utils import validate

import methods
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
     "unknown key 'replicate': accepted are replicates, base, sweep, ratio, keep_data, export_plink, scratch, methods"),
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
    (make(sweep={"ratio": [True, -1]}), "sweep.ratio[2] = -1: true (the simulation's own ratio), estimated or a "
                                        "number"),
    (make(ratio=False), "ratio = False: true (the simulation's own ratio), estimated or a number of at least 0 is "
                        "accepted"),
    (make(ratio="estimate"), "ratio = 'estimate': true"),
    (make(ratio="high"), "ratio = 'high': true"),
    (make(keep_data="yes"), "keep_data = 'yes': true or false is accepted"),
    (make(export_plink=1), "export_plink = 1: true or false is accepted"),
    (make(scratch="/local/scratch"), "scratch = '/local/scratch': true or false is accepted (true: the job's "
                                     "temporary folder, Snakemake's tmpdir resource; name the folder with "
                                     "--default-resources \"tmpdir='/local/scratch'\")"),
    # methods: what each entry may be, and every setting by its key.
    (make(methods=[]), "methods = []: a list of at least one method (snpblup, bayescpi, bayesr, brr) is accepted"),
    (make(methods="bayescpi"), "methods = 'bayescpi': a list of at least one method"),
    (make(methods=["snpblup", "bayesb"]), "methods[2] = 'bayesb': a method name (snpblup, bayescpi, bayesr, brr) or "
                                          "a mapping of one name to its settings is accepted"),
    (make(methods=[{"bayesb": {}}]), "methods[1]: unknown method 'bayesb'"),
    (make(methods=[{"bayescpi": {}, "bayesr": {}}]), "methods[1] = {'bayescpi': {}, 'bayesr': {}}: a method name"),
    (make(methods=[{"bayesr": 5000}]), "methods[1].bayesr = 5000: a mapping of settings (label, iterations, burn_in, "
                                       "thin) is accepted"),
    (make(methods=[{"bayesr": {"pi": 0.9}}]), "methods[1].bayesr: unknown key 'pi': accepted are label, iterations, "
                                              "burn_in, thin"),
    (make(methods=[{"snpblup": {"iterations": 10}}]), "methods[1].snpblup: unknown key 'iterations': accepted are "
                                                      "label, ratio"),
    (make(methods=[{"brr": {"iterations": 0}}]), "methods[1].brr.iterations = 0: a whole number from 1 to 1000000000"),
    (make(methods=[{"brr": {"iterations": 2.5}}]), "methods[1].brr.iterations = 2.5: a whole number from 1"),
    (make(methods=[{"brr": {"iterations": 100, "burn_in": 100}}]),
     "methods[1].brr.burn_in = 100: a whole number from 0 to iterations - 1 = 99 is accepted"),
    (make(methods=[{"brr": {"burn_in": -1}}]), "methods[1].brr.burn_in = -1: a whole number from 0 to iterations - 1"),
    (make(methods=[{"bayesr": {"thin": 0}}]), "methods[1].bayesr.thin = 0: a whole number from 1 to 1000000000"),
    (make(methods=[{"bayescpi": {"pi": 1.0}}]), "methods[1].bayescpi.pi = 1.0: a probability above 0 and below 1"),
    (make(methods=[{"bayescpi": {"pi": "0.9"}}]), "methods[1].bayescpi.pi = '0.9': a probability above 0"),
    (make(methods=[{"bayescpi": {"fix_pi": "yes"}}]), "methods[1].bayescpi.fix_pi = 'yes': true or false is accepted"),
    (make(methods=[{"bayescpi": {"label": "Fixed"}}]), "methods[1].bayescpi.label = 'Fixed': a name of lower-case "
                                                       "letters, digits and _"),
    (make(methods=[{"brr": {"label": "par_tarvox"}}]), "methods[1].brr.label = 'par_tarvox': a name of lower-case"),
    (make(methods=["bayescpi", {"bayescpi": {"fix_pi": True}}]),
     "methods[2].bayescpi: the label 'bayescpi' is taken by methods[1]: give each entry a label of its own"),
    (make(methods=["snpblup", {"snpblup": {"label": "blup2"}}]), "methods[2].snpblup: snpblup is given twice"),
    (make(methods=[{"snpblup": {"ratio": -1}}]), "methods[1].snpblup.ratio = -1: true (the simulation's own ratio), "
                                                 "estimated or a number"),
    (make(methods=[{"snpblup": {"ratio": 5}}], sweep={"ratio": [True, 5]}),
     "methods[1].snpblup.ratio = 5: the ratio is swept (sweep.ratio): give it there or here, not both"),
    (make(methods=["bayescpi"], ratio=5), "ratio = 5: the ratio answers snpblup's kolber, and snpblup is not among "
                                          "the methods"),
    (make(methods=["bayescpi"], sweep={"ratio": [True, 5]}), "sweep.ratio: the ratio answers snpblup's kolber"),
]


@pytest.mark.parametrize("bad, message", BAD, ids=[m[:40] for _, m in BAD])
def test_bad_study_files_name_the_key_and_what_is_accepted(bad, message):
    with pytest.raises(study.StudyError) as refused:
        study.check(copy.deepcopy(bad))
    assert str(refused.value).startswith(message)


# What the schema can say alone (ranges, types, keys): it refuses these too.
# Not what needs two keys at once: sets, a burn-in against the iterations, one
# label or snpblup twice, a ratio swept and given, a ratio without snpblup.
SCHEMA_REFUSES = [bad for bad, message in BAD
                  if not message.startswith(("n_qtl", "freq_max = 0.0", "sweep.nrec = [100, 100]", "ratio = 5",
                                             "sweep.ratio:", "methods[1].brr.burn_in = 100", "methods[2].",
                                             "methods[1].snpblup.ratio = 5"))]


@pytest.mark.parametrize("bad", SCHEMA_REFUSES)
def test_the_schema_refuses_what_it_documents(bad):
    with pytest.raises(WorkflowError):
        validate(copy.deepcopy(bad), SCHEMA)


@pytest.mark.parametrize("good", [
    make(),
    make(sweep={"nrec": [60, 120], "h2": [0.3, 0.6], "ratio": [True, 0, 12.5]}),
    make(ratio=100, keep_data=True, snp_range=1, n_qtl=500, scratch=True),  # one effect: n_qtl is not used
    make(nprog=20, freq_min=0.5, freq_max=0.0),
    make(methods=["snpblup", "bayescpi", {"bayesr": None}, {"bayescpi": {"label": "held", "pi": 0.99, "fix_pi": True}},
                  {"brr": {"iterations": 100, "burn_in": 0, "thin": 1}}], ratio="estimated"),
    make(methods=["brr", {"snpblup": {"ratio": 12.5, "label": "blup"}}], sweep={"h2": [0.3, 0.6]}),
    make(methods=["bayesr"]),
])
def test_good_study_files_pass_both_checks_and_gain_defaults(good):
    checked = study.check(copy.deepcopy(good))
    validate(checked, SCHEMA)
    validate(copy.deepcopy(good), SCHEMA)
    assert {"sweep", "ratio", "keep_data", "methods"} <= checked.keys()
    assert checked["ratio"] == good.get("ratio", True) and checked["keep_data"] == good.get("keep_data", False)
    assert study.check(copy.deepcopy(checked)) == checked  # the checked study is a study file as it stands


def test_methods_gain_their_defaults_and_snpblup_its_ratio():
    checked = study.check(make(ratio=7, methods=["bayescpi", {"bayesr": {"iterations": 1000}}, "snpblup"]))
    assert checked["methods"] == [
        {"bayescpi": {"label": "bayescpi", "iterations": 3000, "burn_in": 600, "thin": 10, "pi": 0.5,
                      "fix_pi": False}},
        {"bayesr": {"label": "bayesr", "iterations": 1000, "burn_in": 200, "thin": 10}},
        {"snpblup": {"label": "snpblup", "ratio": 7}}]
    assert study.check(make())["methods"] == [{"snpblup": {"label": "snpblup", "ratio": True}}]
    # Swept, the ratio stays with the grid points; without snpblup there is none.
    swept = study.check(make(sweep={"ratio": [True, "estimated"]}))
    assert swept["methods"] == [{"snpblup": {"label": "snpblup"}}]
    assert [(p.name, p.ratio) for p in study.grid(swept)] == [("ratio=own", True), ("ratio=estimated", "estimated")]
    assert [p.ratio for p in study.grid(study.check(make(methods=["brr"])))] == [None]


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


def test_sampler_seeds_follow_label_and_replicate_alone():
    first = methods.of(study.check(make(methods=["snpblup", "bayescpi", {"bayescpi": {"label": "held"}}])))
    grown = methods.of(study.check(make(replicates=9, sweep={"nrec": [60, 90]},
                                        methods=[{"bayescpi": {"label": "held"}}, "bayesr", "bayescpi"])))
    seeds = {m.label: [m.seed(r) for r in (1, 2, 3)] for m in first[1:]}
    assert {m.label: [m.seed(r) for r in (1, 2, 3)] for m in grown if m.label in seeds} == seeds
    assert seeds["bayescpi"][0] == int.from_bytes(hashlib.sha256(b"bayescpi:1").digest()[:8], "big")
    assert len({s for values in seeds.values() for s in values}) == 6
    assert first[1].run_settings(2) == {"method": "bayescpi", "iterations": 3000, "burn_in": 600, "thin": 10,
                                        "pi": 0.5, "fix_pi": False, "seed": seeds["bayescpi"][1]}


def test_the_ratio_is_estimated_by_the_first_brr_entry_or_brr_at_its_defaults():
    assert methods.ratio_estimator(study.check(make(ratio="estimated"))).settings == {
        "label": "brr", "iterations": 3000, "burn_in": 600, "thin": 10}
    given = study.check(make(ratio="estimated", methods=["snpblup", {"brr": {"label": "long", "iterations": 9000}},
                                                         {"brr": {"label": "short", "iterations": 90}}]))
    assert methods.ratio_estimator(given).label == "long"


def test_par_tarvox_pairs_labels_and_values():
    lines = study.par_tarvox_text(study.check(make(freq_min=0.05, h2=0.25))["base"]).splitlines()
    assert len(lines) == 20
    assert lines[1::2] == ["40", "8", "0", "60", "0.05 0.5", "10", "10", "0.25", "10", "1"]
