"""The one-node test cluster: it starts, runs jobs, reports failures, stops cleanly."""

import socket
import subprocess
import time
from pathlib import Path

import pytest

import slurm_cluster


def run(argv, env, cwd=None):
    return subprocess.run(argv, env=env, cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, timeout=60)


def sbatch_wait(env, cwd, script, *options):
    return run(["sbatch", "--wait", "--quiet", *options, "--wrap", script], env, cwd)


def test_node_offers_this_host_idle(slurm_env):
    node = slurm_cluster.Node.local()
    out = run(["sinfo", "--noheader", "--Node", "--format=%N %c %m %T %P"], slurm_env)
    assert out.stdout.split() == [node.name, str(node.cpus), str(node.memory_mib),
                                  "idle", "debug*"]


def test_job_writes_its_file_and_its_output(slurm_env, tmp_path):
    done = sbatch_wait(slurm_env, tmp_path, "echo hello > out.txt; echo to-stdout",
                       "--output=job-%j.log")
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "out.txt").read_text() == "hello\n"
    [log] = tmp_path.glob("job-*.log")
    assert log.read_text() == "to-stdout\n"


EXIT_CASES = [  # script, exit status, final JobState
    ("true", 0, "COMPLETED"),
    ("exit 3", 3, "FAILED"),
    ("false; true", 0, "COMPLETED"),
    ("set -e; false; true", 1, "FAILED"),
]


def test_exit_status_reaches_sbatch_and_scontrol(slurm_env, tmp_path):
    jobs = [subprocess.Popen(["sbatch", "--parsable", "--wait", "--wrap", script],
                             env=slurm_env, cwd=tmp_path, stdout=subprocess.PIPE, text=True)
            for script, _, _ in EXIT_CASES]
    for job, (script, status, state) in zip(jobs, EXIT_CASES):
        assert job.wait(timeout=60) == status, script
        shown = run(["scontrol", "--oneliner", "show", "job", job.stdout.read().strip()],
                    slurm_env).stdout.split()
        assert f"JobState={state}" in shown, script
        assert f"ExitCode={status}:0" in shown, script


def test_two_one_cpu_jobs_run_at_once(slurm_env, tmp_path):
    # Each job waits for the other's mark, so both succeed only side by side.
    script = ("touch {me}; for i in $(seq 100); do [ -e {other} ] && exit 0; "
              "sleep 0.1; done; exit 1")
    jobs = [subprocess.Popen(["sbatch", "--wait", "--quiet", "--cpus-per-task=1",
                              "--wrap", script.format(me=me, other=other)],
                             env=slurm_env, cwd=tmp_path)
            for me, other in (("a", "b"), ("b", "a"))]
    assert [job.wait(timeout=60) for job in jobs] == [0, 0]


@pytest.mark.cluster
def test_stop_leaves_no_process_behind(tmp_path):
    with slurm_cluster.one_node_cluster(tmp_path / "c") as env:
        # A job that shrugs off SIGTERM must not outlive the cluster either.
        run(["sbatch", "--wrap", "trap '' TERM; touch started; sleep 300"], env, tmp_path)
        deadline = time.monotonic() + 20
        while not (tmp_path / "started").exists():
            assert time.monotonic() < deadline, "job never started"
            time.sleep(0.1)
        started = slurm_cluster.cluster_processes(env["SLURM_CONF"])
        names = {Path(f"/proc/{pid}/comm").read_text().strip() for pid in started}
    assert {"munged", "slurmctld", "slurmd", "slurmstepd"} <= names
    left = [pid for pid in started if Path(f"/proc/{pid}").exists()
            and Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"]
    assert left == []


@pytest.mark.cluster
def test_workdir_of_a_crashed_run_starts_afresh(tmp_path):
    workdir = tmp_path / "c"
    with slurm_cluster.one_node_cluster(workdir) as env:
        run(["sbatch", "--hold", "--wrap", "true"], env, tmp_path)
    # What a killed run leaves: saved jobs, a pid file and a socket nobody serves.
    (workdir / "run" / "slurmctld.pid").write_text("999999\n")
    with socket.socket(socket.AF_UNIX) as stale:
        stale.bind(str(workdir / "munge" / "socket"))
    with slurm_cluster.one_node_cluster(workdir) as env:
        assert run(["squeue", "--noheader"], env).stdout == ""
        job = run(["sbatch", "--parsable", "--wrap", "true"], env, tmp_path)
        assert job.stdout.strip() == "1"


@pytest.mark.cluster
def test_node_that_never_gets_idle_reports_the_logs(tmp_path, monkeypatch):
    # More memory than the host has: slurmd registers, the node stays invalid.
    local = slurm_cluster.Node.local()
    monkeypatch.setattr(slurm_cluster.Node, "local", staticmethod(
        lambda: slurm_cluster.Node(local.name, local.cpus, local.memory_mib * 4)))
    with pytest.raises(slurm_cluster.ClusterError) as failure:
        with slurm_cluster.one_node_cluster(tmp_path / "c", start_timeout=3):
            pass
    assert "not within 3 s" in str(failure.value)
    assert "slurmctld.log" in str(failure.value)
    assert slurm_cluster.cluster_processes(tmp_path / "c" / "slurm.conf") == []


@pytest.mark.parametrize("euid, missing, cgroup, expected", [
    (0, None, True, (True, "")),
    (1000, None, True, (False, "needs root: slurmd and munged run as the test user")),
    (0, "slurmd", True, (False, "missing programs: slurmd")),
    (0, None, False, (False, "no cgroup file system on /sys/fs/cgroup (a container or chroot without one): "
                             "slurmd cannot start")),
])
def test_available_says_why_not(monkeypatch, euid, missing, cgroup, expected):
    found = slurm_cluster.find_program
    monkeypatch.setattr(slurm_cluster.os, "geteuid", lambda: euid)
    monkeypatch.setattr(slurm_cluster, "cgroup_mounted", lambda: cgroup)
    monkeypatch.setattr(slurm_cluster, "find_program",
                        lambda name: None if name == missing else found(name) or name)
    assert slurm_cluster.available() == expected


def test_long_workdir_is_refused_before_anything_starts(tmp_path):
    with pytest.raises(ValueError, match="too long"):
        with slurm_cluster.one_node_cluster(tmp_path / ("x" * 80)):
            pass


@pytest.mark.parametrize("mounts, mounted", [
    ([("/sys/fs/cgroup", "cgroup2")], True),
    ([("/sys/fs/cgroup", "tmpfs"), ("/sys/fs/cgroup/cpu", "cgroup")], True),  # version 1 hierarchies
    ([("/sys", "sysfs")], False),                                             # a chroot without one
    ([("/sys/fs/cgroup", "cgroup2"), ("/sys/fs/cgroup", "ramfs")], False),     # the last mount shows
])
def test_cgroup_file_system_is_found_as_slurmd_looks_for_it(tmp_path, mounts, mounted):
    lines = [f"{i} 1 0:{i} / {where} rw,nosuid - {kind} {kind} rw\n" for i, (where, kind) in enumerate(mounts, 30)]
    (tmp_path / "mountinfo").write_text("".join(lines))
    assert slurm_cluster.cgroup_mounted(tmp_path / "mountinfo") == mounted


def test_slurmd_that_cannot_run_here_says_why():
    logs = ("slurmd exited with status 1\n--- slurmd.log (last 30 lines)\n"
            "[2026-01-01T00:00:00.000] error: No filesystem mounted on /sys/fs/cgroup\n"
            "[2026-01-01T00:00:00.000] error: Unable to initialize cgroup plugin\n")
    assert (slurm_cluster.ClusterError(logs).cannot_run_here()
            == "No filesystem mounted on /sys/fs/cgroup: Unable to initialize cgroup plugin")
    assert slurm_cluster.ClusterError("node not idle within 3 s").cannot_run_here() is None
