"""A throw-away one-node Slurm cluster on this machine, for workflow tests.

    with one_node_cluster(workdir) as env:
        subprocess.run(["sbatch", "--wait", "--wrap", "true"], env=env, check=True)

Everything the daemons write (configuration, munge key and socket, state,
spool, pid and log files) lives under `workdir`; the ports are picked free
at start, so a daemon left over from a crashed run cannot get in the way.
The daemons run in the foreground as children of the caller and are stopped
by their process ids on exit.  Needs root and Debian's packages `munge`,
`slurmctld`, `slurmd` and `slurm-client`.
"""

import contextlib
import os
import shutil
import signal
import socket
import subprocess
import time
from dataclasses import dataclass
from pathlib import Path

DAEMONS = ("munged", "slurmctld", "slurmd")
CLIENTS = ("sbatch", "squeue", "sinfo", "scontrol", "scancel")
# Processes a cluster owns, by the base name of their executable (Debian
# installs the Slurm ones with a "-wlm" suffix); slurmscriptd runs slurmctld's.
OWNED_EXECUTABLES = ("munged", "slurmctld", "slurmd", "slurmstepd")
# A Unix socket path holds at most 107 bytes.  slurmd puts the job steps'
# sockets, "<node>_<job>.<step>" with a 10-digit batch step, into
# <workdir>/spool; jobs up to 9,999,999 leave 107 - 6 - 1 - 1 - 7 - 1 - 10.
SOCKET_ROOM = 81
KILL_WAIT_SECONDS = 2


class ClusterError(RuntimeError):
    """The cluster did not come up; the message carries the daemons' logs."""

    def cannot_run_here(self):
        """slurmd's own reason when it cannot start on this machine at all:
        its cgroup plugin failed (and why, from the line before)."""
        lines = str(self).splitlines()
        for before, line in zip([""] + lines, lines):
            if "Unable to initialize cgroup plugin" in line:
                cause = before.split("error: ", 1)[1] + ": " if "error: " in before else ""
                return cause + line.split("error: ", 1)[-1]
        return None


def find_program(name):
    """Path of `name` on PATH or in the system's sbin folders, or None."""
    path = os.pathsep.join([os.environ.get("PATH", ""), "/usr/sbin", "/sbin"])
    return shutil.which(name, path=path)


def cgroup_mounted(mountinfo="/proc/self/mountinfo"):
    """Whether /sys/fs/cgroup holds a cgroup file system, as slurmd needs: a
    cgroup2 mount, or the tmpfs of the version 1 hierarchies."""
    with open(mountinfo) as mounts:
        types = [line.split(" - ")[1].split()[0] for line in mounts if line.split()[4] == "/sys/fs/cgroup"]
    return bool(types) and types[-1] in ("cgroup2", "tmpfs")


def available():
    """(True, "") when a cluster can be started here, else (False, why not)."""
    missing = [name for name in DAEMONS + CLIENTS if find_program(name) is None]
    if missing:
        return False, "missing programs: " + " ".join(missing)
    if os.geteuid() != 0:
        return False, "needs root: slurmd and munged run as the test user"
    if not cgroup_mounted():
        return False, "no cgroup file system on /sys/fs/cgroup (a container or chroot without one): slurmd cannot start"
    return True, ""


@dataclass(frozen=True)
class Node:
    name: str
    cpus: int
    memory_mib: int

    @staticmethod
    def local():
        """This host as Slurm sees it: short host name, usable CPUs, memory."""
        with open("/proc/meminfo") as meminfo:
            total_kib = next(int(line.split()[1]) for line in meminfo
                             if line.startswith("MemTotal:"))
        return Node(socket.gethostname().split(".")[0],
                    len(os.sched_getaffinity(0)), total_kib // 1024)


@dataclass(frozen=True)
class Layout:
    """Where one cluster keeps its files."""
    root: Path

    conf = property(lambda self: self.root / "slurm.conf")
    plugstack = property(lambda self: self.root / "plugstack.conf")
    munge_key = property(lambda self: self.root / "munge" / "munge.key")
    munge_socket = property(lambda self: self.root / "munge" / "socket")
    state = property(lambda self: self.root / "state")
    spool = property(lambda self: self.root / "spool")
    run = property(lambda self: self.root / "run")
    log = property(lambda self: self.root / "log")

    def folders(self):
        return [self.munge_key.parent, self.state, self.spool, self.run, self.log]

    def daemon_log(self, daemon):
        return self.log / f"{daemon}.log"

    def console_log(self, daemon):
        return self.log / f"{daemon}.console"


def slurm_conf(layout, node, ctld_port, slurmd_port):
    """Text of a slurm.conf for `node` alone, every path under `layout`."""
    return f"""\
ClusterName=test{ctld_port}
SlurmctldHost={node.name}(127.0.0.1)
SlurmctldPort={ctld_port}
SlurmdPort={slurmd_port}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket={layout.munge_socket}
StateSaveLocation={layout.state}
SlurmdSpoolDir={layout.spool}
SlurmctldPidFile={layout.run}/slurmctld.pid
SlurmdPidFile={layout.run}/slurmd.pid
SlurmctldLogFile={layout.daemon_log("slurmctld")}
SlurmdLogFile={layout.daemon_log("slurmd")}
SlurmctldDebug=info
SlurmdDebug=info
PlugStackConfig={layout.plugstack}
MailProg=/bin/true
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SwitchType=switch/none
MpiDefault=none
SchedulerType=sched/backfill
# Batch jobs start at once rather than on the next 3 s scheduling pass.
SchedulerParameters=batch_sched_delay=0
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
KillWait={KILL_WAIT_SECONDS}
NodeName={node.name} NodeAddr=127.0.0.1 CPUs={node.cpus} RealMemory={node.memory_mib} State=UNKNOWN
PartitionName=debug Nodes={node.name} Default=YES MaxTime=INFINITE State=UP
"""


def client_environment(conf):
    """The caller's environment pointed at `conf`, minus inherited SLURM_*."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("SLURM_")}
    env["SLURM_CONF"] = str(conf)
    env["PATH"] = os.pathsep.join([env.get("PATH", ""), "/usr/sbin", "/sbin"])
    return env


FINAL_JOB_STATES = {"BOOT_FAIL", "CANCELLED", "COMPLETED", "DEADLINE", "FAILED",
                    "NODE_FAIL", "OUT_OF_MEMORY", "PREEMPTED", "TIMEOUT"}


def job_state(env, job_id):
    """JobState of `job_id` as the controller shows it (no accounting here)."""
    shown = subprocess.run(["scontrol", "--oneliner", "show", "job", str(job_id)],
                           env=env, stdout=subprocess.PIPE, text=True, check=True).stdout
    return next(f for f in shown.split() if f.startswith("JobState=")).split("=", 1)[1]


def wait_for_job(env, job_id, timeout=60.0):
    """Final JobState of `job_id`; polls faster than `sbatch --wait`, whose
    pauses double from 2 s."""
    deadline = time.monotonic() + timeout
    while (state := job_state(env, job_id)) not in FINAL_JOB_STATES:
        if time.monotonic() > deadline:
            raise TimeoutError(f"job {job_id} still {state} after {timeout:g} s")
        time.sleep(0.1)
    return state


def cluster_processes(conf, executables=OWNED_EXECUTABLES):
    """Live pids of the daemons and job steps started with SLURM_CONF=`conf`
    whose executables are among `executables`."""
    marker = f"SLURM_CONF={conf}".encode()
    pids = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == os.getpid():
            continue
        try:
            exe = os.path.basename(os.readlink(entry / "exe"))
            if exe.removesuffix("-wlm") not in executables:
                continue
            if marker not in (entry / "environ").read_bytes().split(b"\0"):
                continue
        except OSError:
            continue
        if _is_running(int(entry.name)):
            pids.append(int(entry.name))
    return sorted(pids)


def _is_running(pid):
    # Orphans reaped late by init stay as zombies; they run nothing.
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return False
    return stat.rsplit(")", 1)[1].split()[0] != "Z"


def _free_ports(count):
    sockets = [socket.socket() for _ in range(count)]
    try:
        for s in sockets:
            s.bind(("", 0))
        return [s.getsockname()[1] for s in sockets]
    finally:
        for s in sockets:
            s.close()


def _tail(path, lines=30):
    try:
        text = path.read_text(errors="replace").splitlines()
    except OSError:
        return f"--- {path}: none\n"
    return f"--- {path} (last {lines} lines)\n" + "\n".join(text[-lines:]) + "\n"


class _Daemons:
    """The processes of one cluster, stopped in reverse order of start."""

    def __init__(self, layout, env):
        self.layout, self.env, self.started = layout, env, []

    def start(self, name, argv):
        with open(self.layout.console_log(name), "wb") as console:
            proc = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=console, stderr=subprocess.STDOUT,
                                    start_new_session=True)
        self.started.append((name, proc))

    def all_alive(self):
        return all(proc.poll() is None for _, proc in self.started)

    def check_alive(self):
        for name, proc in self.started:
            if proc.poll() is not None:
                self.fail(f"{name} exited with status {proc.returncode}")

    def fail(self, why):
        logs = "".join(_tail(self.layout.daemon_log(n)) + _tail(self.layout.console_log(n))
                       for n in DAEMONS)
        raise ClusterError(f"{why}\n{logs}")

    def stop(self, timeout):
        for _, proc in reversed(self.started):
            _terminate(proc.pid, proc.poll, timeout)
            proc.wait()
        # Job steps outlive slurmd by design; end any whose job did not finish.
        for pid in cluster_processes(self.env["SLURM_CONF"]):
            _terminate(pid, lambda pid=pid: None if _is_running(pid) else 0, timeout)


def _terminate(pid, finished, timeout):
    """SIGTERM `pid`, then SIGKILL if `finished()` stays None for `timeout` s."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if finished() is not None:
            return
        with contextlib.suppress(ProcessLookupError):
            os.kill(pid, sig)
        deadline = time.monotonic() + timeout
        while finished() is None and time.monotonic() < deadline:
            time.sleep(0.05)


def _wait_for(condition, daemons, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        daemons.check_alive()
        if condition():
            return
        if time.monotonic() > deadline:
            daemons.fail(f"{what} not within {timeout:g} s")
        time.sleep(0.1)


def _client(argv, env, timeout):
    """Output of a client command, "" when it fails or the controller hangs."""
    try:
        return subprocess.run(argv, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, timeout=timeout).stdout
    except subprocess.TimeoutExpired:
        return ""


def _node_state(env, node):
    return _client(["sinfo", "-h", "-N", "-n", node, "-o", "%T"], env, 5).strip()


def _prepare(layout, node):
    room = SOCKET_ROOM - len(node.name)
    if len(str(layout.root)) > room:
        raise ValueError(f"{layout.root}: over {room} characters, "
                         "too long for the job step sockets under it")
    layout.root.mkdir(parents=True, exist_ok=True)
    for folder in layout.folders():
        # A crashed run may have left state behind that would come back to life.
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(mode=0o700)
    # munged warns about a socket other users cannot reach.
    layout.munge_socket.parent.chmod(0o755)
    ctld_port, slurmd_port = _free_ports(2)
    layout.conf.write_text(slurm_conf(layout, node, ctld_port, slurmd_port))
    layout.plugstack.write_text("")
    layout.munge_key.write_bytes(os.urandom(1024))
    layout.munge_key.chmod(0o600)


def _cancel_jobs(env, timeout):
    _client(["scancel", "--user=root"], env, timeout)
    deadline = time.monotonic() + timeout
    while (cluster_processes(env["SLURM_CONF"], ("slurmstepd",))
           and time.monotonic() < deadline):
        time.sleep(0.1)


@contextlib.contextmanager
def one_node_cluster(workdir, start_timeout=30.0, stop_timeout=10.0):
    """Run munged, slurmctld and slurmd for this host with files under
    `workdir`; yield the environment for sbatch and friends once the node is
    idle; on exit cancel the jobs left and stop every process of the cluster.
    Raises ClusterError (with the daemons' logs) if the node never gets idle.
    """
    layout, node = Layout(Path(workdir).resolve()), Node.local()
    _prepare(layout, node)
    env = client_environment(layout.conf)
    daemons = _Daemons(layout, env)
    try:
        daemons.start("munged", [
            find_program("munged"), "--foreground", "--force",
            f"--socket={layout.munge_socket}", f"--key-file={layout.munge_key}",
            f"--pid-file={layout.run}/munged.pid",
            f"--log-file={layout.daemon_log('munged')}",
            f"--seed-file={layout.run}/munged.seed"])
        _wait_for(layout.munge_socket.exists, daemons, start_timeout, "munge socket")
        conf = str(layout.conf)
        daemons.start("slurmctld", [find_program("slurmctld"), "-D", "-f", conf])
        daemons.start("slurmd", [find_program("slurmd"), "-D", "-f", conf])
        _wait_for(lambda: _node_state(env, node.name) == "idle", daemons,
                  start_timeout, f"node {node.name} idle")
        yield dict(env)
    finally:
        if len(daemons.started) == len(DAEMONS) and daemons.all_alive():
            _cancel_jobs(env, KILL_WAIT_SECONDS + stop_timeout)
        daemons.stop(stop_timeout)
