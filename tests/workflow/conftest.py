"""Shared fixtures: one live Slurm cluster for the whole test session."""

import pytest

import slurm_cluster


@pytest.fixture(scope="session")
def slurm_env(tmp_path_factory):
    """Environment for sbatch and friends on a cluster shared by the session."""
    ok, why = slurm_cluster.available()
    if not ok:
        pytest.skip(why)
    with slurm_cluster.one_node_cluster(tmp_path_factory.mktemp("slurm")) as env:
        yield env
