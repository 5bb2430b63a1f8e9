"""Shared set-up of the workflow tests: the scripts on the import path, the
programs built once, a one-node Slurm cluster, and a runner of the study
command."""

import html.parser
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest
import yaml

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "workflow" / "scripts"))

import programs  # noqa: E402
import slurm_cluster  # noqa: E402

SNAKEMAKE = ["/usr/bin/python3", "-m", "snakemake"]


@pytest.fixture(scope="session")
def built():
    """tarvox and kolber in build/release, brought up to date."""
    programs.update(REPO)
    return programs.paths(REPO)


# Why the one-node cluster cannot run here (None: it can), found once.
_CLUSTER = {}


def _cluster_unavailable():
    if "why" not in _CLUSTER:
        ok, why = slurm_cluster.available()
        _CLUSTER["why"] = None if ok else why
    return _CLUSTER["why"]


def pytest_runtest_setup(item):
    """Skips the tests that need the one-node cluster where it cannot run,
    from here, so pytest prints the reason once for all of them."""
    if "slurm_env" in item.fixturenames or item.get_closest_marker("cluster"):
        why = _cluster_unavailable()
        if why:
            pytest.skip(f"the one-node Slurm cluster cannot run here: {why}")


@pytest.fixture(scope="session")
def slurm_env(tmp_path_factory):
    """Environment for sbatch and friends on a one-node cluster shared by the session."""
    try:
        with slurm_cluster.one_node_cluster(tmp_path_factory.mktemp("slurm")) as env:
            yield env
    except slurm_cluster.ClusterError as failure:
        why = failure.cannot_run_here()
        if not why:
            raise
        _CLUSTER["why"] = why  # the later tests skip from pytest_runtest_setup
        pytest.skip(f"the one-node Slurm cluster cannot run here: {why}")


def run_study(outdir, study=None, *extra, check=True, env=None):
    """Runs the study command from the repository root; returns the process
    with its output."""
    command = SNAKEMAKE + ["-s", "workflow/Snakefile", "--cores", "2", "--scheduler", "greedy", "--directory",
                           str(outdir)]
    if study is not None:
        command += ["--configfile", str(study)]
    done = subprocess.run(command + list(extra), cwd=REPO, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, env=env)
    if check and done.returncode != 0:
        raise AssertionError(f"{' '.join(command)} failed:\n{done.stdout[-4000:]}")
    return done


def write_study(path, **study):
    path.write_text(yaml.safe_dump(study, sort_keys=False))
    return path


def run_on_scratch(root, **study):
    """Runs `study` in root/out with TMPDIR root/scratch, which it leaves empty;
    returns (root, the study file, the run)."""
    path = write_study(root / "study.yaml", scratch=True, **study)
    (root / "scratch").mkdir()
    done = run_study(root / "out", path, env=dict(os.environ, TMPDIR=str(root / "scratch")))
    assert list((root / "scratch").iterdir()) == []
    return root, path, done


def recreate(run, new):
    """replicate.py's re-creation of the replicate in `run` in `new`."""
    return subprocess.run([sys.executable, str(REPO / "workflow" / "scripts" / "replicate.py"), str(run), str(new)],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


TINY_BASE = {"n_snp": 40, "n_qtl": 8, "nprog": 0, "nrec": 60, "freq_min": 0.05, "freq_max": 0.5,
             "snp_range": 10, "var_a": 10, "h2": 0.5, "mean": 10, "seed": 1}


# A replicate runs as rule first_replicate (replicate 1) or replicate, a
# sampler of it as first_sampler or sampler.
REPLICATE_RULES = r"(?:first_)?replicate"
SAMPLER_RULES = r"(?:first_)?sampler"


def replicate_jobs_run(output, rules=REPLICATE_RULES):
    """Replicate (or sampler) jobs a study's output says it ran."""
    return len(re.findall(rf"^rule {rules}:$", output, flags=re.M))


def replicate_jobs_planned(output, rules=REPLICATE_RULES):
    """Replicate (or sampler) jobs in the first table of job counts Snakemake prints."""
    table = output.split("Job stats:", 1)[1].split("\n\n", 1)[0]
    return sum(int(n) for n in re.findall(rf"^{rules} +(\d+) ", table, flags=re.M))


class Report(html.parser.HTMLParser):
    """What a reader's browser would fetch and show of a report: its images'
    sources, tables, the headers of their columns, links and scripts."""

    def __init__(self):
        super().__init__()
        self.images, self.tables, self.headers, self.links, self.scripts = [], 0, [], [], 0
        self.in_th = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.images += [attrs["src"]] if tag == "img" else []
        self.tables += tag == "table"
        self.scripts += tag == "script"
        self.links += [attrs[a] for a in ("href", "src") if a in attrs and not attrs[a].startswith(("#", "data:"))]
        self.in_th = tag == "th"

    def handle_data(self, data):
        if self.in_th:
            self.headers.append(data)
            self.in_th = False


def read_report(path):
    report = Report()
    report.feed(path.read_text())
    return report
