"""The programs a study runs: where they are built, bringing them up to date,
running one, and the build that made them.

`update` runs once before a study's jobs, on the machine that runs Snakemake.
The replicate jobs call `run` and `provenance`, so what they need at start is
all this module imports: the build's own modules are imported where they are
used.
"""

import json
import os
import signal
import sys
import time

NAMES = ("tarvox", "kolber", "snp2plink", "snpbayes")
FOLDERS = {"tarvox": "simulator", "kolber": "estimator", "snp2plink": "snp2plink", "snpbayes": "bayes"}
# The cluster profile's commands run in OUTDIR and find the repository here.
REPO_VARIABLE = "SNP_STUDY_REPO"
# Written by `update` beside the programs: the commit, whether tracked files
# differed from it, and each program's digest as built.
BUILD_RECORD = "study-build.json"


def announce(repo):
    """Tells the cluster profile's commands where the repository is."""
    os.environ[REPO_VARIABLE] = str(repo)


def build_folder(repo):
    return os.path.join(repo, "build", "release")


def binary(repo, name):
    return os.path.join(build_folder(repo), FOLDERS[name], name)


def paths(repo):
    """tarvox and kolber."""
    return binary(repo, "tarvox"), binary(repo, "kolber")


def digest(path):
    """SHA-256 of a file, as sha256sum prints it."""
    import hashlib

    sha256 = hashlib.sha256()
    with open(path, "rb") as f:
        while block := f.read(1 << 20):
            sha256.update(block)
    return sha256.hexdigest()


class ProgramError(RuntimeError):
    """A program failed; the message holds the end of its console."""


def run(command, work, log, stdin_text="", env=None, args=()):
    """Runs a program with `args` in folder `work` with its console in `log`
    and `stdin_text` on its standard input; returns (wall seconds, user
    seconds). A failure raises ProgramError with the end of its console."""
    start = time.perf_counter()
    console = os.open(log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o666)
    stdin, answer = os.pipe()
    here = os.getcwd()
    os.chdir(work)  # the programs read and write fixed names in their folder
    try:
        pid = os.posix_spawn(command, [command, *args], os.environ if env is None else env, file_actions=[
            (os.POSIX_SPAWN_DUP2, stdin, 0), (os.POSIX_SPAWN_DUP2, console, 1), (os.POSIX_SPAWN_DUP2, console, 2)])
    finally:
        os.chdir(here)
        os.close(stdin)
        os.close(console)
    try:
        with open(answer, "w") as pipe:
            pipe.write(stdin_text)
    except BrokenPipeError:  # it ended before reading: its status tells why
        pass
    try:
        _, status, usage = os.wait4(pid, 0)
    except BaseException:  # the job is ended from outside (SIGTERM, Ctrl-C): so is the program
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        raise
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        with open(log, errors="replace") as f:
            report = f.read().strip().splitlines()[-6:]
        raise ProgramError(f"{os.path.basename(command)} ended with exit status {code}; "
                           f"the end of its console {log}:\n" + "\n".join(report))
    return wall, usage.ru_utime


def _identity(path):
    """What tells a rebuilt file apart without reading it: size and mtime."""
    st = os.stat(path)
    return [st.st_size, st.st_mtime_ns]


def _capture(command, **options):
    import subprocess  # only the build needs it

    try:
        return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **options)
    except FileNotFoundError:
        return None


def source_state(repo):
    """(commit, modified) of the checkout: the commit's full hash and whether a
    tracked file differs from it; ("", None) outside a git checkout."""
    head = _capture(["git", "-C", str(repo), "rev-parse", "HEAD"])
    if head is None or head.returncode != 0:
        return "", None
    status = _capture(["git", "-C", str(repo), "status", "--porcelain", "--untracked-files=no"])
    return head.stdout.strip(), bool(status.stdout.strip())


def _step(command):
    done = _capture(command)
    if done is None:
        sys.exit("the programs cannot be built: cmake is missing (bash scripts/setup.sh installs it)")
    if done.returncode != 0:
        sys.exit(done.stdout + f"\nbuilding the programs failed: {' '.join(command)}")
    return done.stdout


def _listed(names):
    return ", ".join(names[:-1]) + " and " + names[-1]


def update(repo):
    """Brings the programs (NAMES) in build/release up to date with an
    incremental build (configured in Release the first time; a no-op when
    nothing changed), records the build beside them and returns the record;
    exits with the build's own report when it fails."""
    import fcntl

    build = build_folder(repo)
    os.makedirs(build, exist_ok=True)
    # Two studies started at once must not run two builds in one folder.
    with open(os.path.join(build, ".study-build.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.isfile(os.path.join(build, "build.ninja")):
            print(f"building {_listed(NAMES)} (Release) in {build}, a minute or two", file=sys.stderr, flush=True)
            _step(["cmake", "-S", str(repo), "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                   "-DBUILD_TESTING=OFF"])
        if "no work to do" not in _step(["cmake", "--build", build, "--target", *NAMES]):
            print(f"brought {_listed(NAMES)} up to date in {build}", file=sys.stderr, flush=True)
        commit, modified = source_state(repo)
        record = {"commit": commit, "modified": modified,
                  "sha256": {n: digest(binary(repo, n)) for n in NAMES},
                  "identity": {n: _identity(binary(repo, n)) for n in NAMES}}
        temporary = os.path.join(build, f".{BUILD_RECORD}.{os.getpid()}")
        with open(temporary, "w") as f:
            f.write(json.dumps(record, indent=1) + "\n")
        os.replace(temporary, os.path.join(build, BUILD_RECORD))
    return record


def provenance(repo, names):
    """The build of programs `names` as they are now: each one's digest, and
    the commit and modified flag recorded by `update` when every program is
    still the one it built (else the commit is "" and modified None: built by
    other means). A program whose size and mtime are those recorded keeps its
    recorded digest; any other is read and digested."""
    try:
        with open(os.path.join(build_folder(repo), BUILD_RECORD)) as f:
            built = json.load(f)
    except (OSError, ValueError):
        built = {}
    recorded, identity = built.get("sha256", {}), built.get("identity", {})
    sha256 = {n: recorded[n] if n in recorded and identity.get(n) == _identity(binary(repo, n))
              else digest(binary(repo, n)) for n in names}
    if all(recorded.get(n) == d for n, d in sha256.items()):
        return {"commit": built["commit"], "modified": built["modified"], "sha256": sha256}
    return {"commit": "", "modified": None, "sha256": sha256}
