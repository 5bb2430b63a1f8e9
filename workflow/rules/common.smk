# The study file, its grid and the scripts' modules, shared by every rule.
import json
import os
import shlex
import sys
from pathlib import Path

import yaml
from snakemake.exceptions import WorkflowError
from snakemake.utils import update_config, validate

REPO = Path(workflow.basedir).parent
SCRIPTS = Path(workflow.basedir) / "scripts"
sys.path.insert(0, str(SCRIPTS))
import methods as study_methods
import programs
import replicate
import study as study_file

EXAMPLE_STUDY = REPO / "config" / "config.yaml"
programs.announce(REPO)


def load_study():
    """The study file given with --configfile is the whole study; without one
    the example study runs. Nothing of one is merged into the other."""
    name = ", ".join(workflow.overwrite_configfiles) or str(EXAMPLE_STUDY)
    if not workflow.overwrite_configfiles:
        example = yaml.safe_load(EXAMPLE_STUDY.read_text())
        update_config(example, dict(config))
        config.clear()
        config.update(example)
    try:
        checked = study_file.check(dict(config))
    except study_file.StudyError as problem:
        raise WorkflowError(f"Bad study file {name}: {problem}") from None
    config.clear()
    config.update(checked)
    validate(config, "../schemas/config.schema.yaml")
    return name


STUDY_NAME = load_study()
# The checked study as the tables, figures and report are given it.
STUDY_JSON = json.dumps(config)
POINTS = {point.name: point for point in study_file.grid(config)}
REPLICATES = [study_file.replicate_name(r) for r in range(1, config["replicates"] + 1)]
METHODS = study_methods.of(config)
SNPBLUP = any(not m.sampler for m in METHODS)
SAMPLERS = {m.label: m for m in METHODS if m.sampler}
# The brr run whose posterior ratio answers kolber where the ratio is estimated.
RATIO_ESTIMATOR = study_methods.ratio_estimator(config)
# differences.tsv and its figure compare methods: a study of one has none.
DIFFERENCES = len(METHODS) > 1


def script(name, lean=False):
    """The command that runs a script of workflow/scripts with the Python that
    runs Snakemake, as a plain command (Snakemake's script: costs half a second
    to start); `lean`: a script that needs Python's standard library alone."""
    return " ".join([shlex.quote(sys.executable), "-S -E" if lean else "-E", shlex.quote(str(SCRIPTS / name))])


def ratio_argument(w):
    """kolber's ratio at the grid point as the replicate's command takes it,
    quoted for the shell: its setting, the settings of the brr run that
    estimates it, or none without snpblup. (Quoted here, not in the rule's
    command: a changed command would run every finished replicate again.)"""
    ratio = POINTS[w.point].ratio
    if ratio is None:
        return "none"
    if ratio == study_file.ESTIMATED:
        return shlex.quote(json.dumps(RATIO_ESTIMATOR.run_settings(study_file.replicate_number(w.rep))))
    return study_file.value_text(ratio)
