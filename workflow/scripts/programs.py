"""The programs a study runs, built in Release when they are not yet."""

import subprocess
import sys
from pathlib import Path


def paths(repo):
    """tarvox and kolber."""
    build = Path(repo) / "build" / "release"
    return build / "simulator" / "tarvox", build / "estimator" / "kolber"


def exporter(repo):
    return Path(repo) / "build" / "release" / "snp2plink" / "snp2plink"


def ensure_built(repo):
    """Builds tarvox, kolber and snp2plink in build/release unless all exist;
    exits with the build's own report when it fails."""
    if all(p.is_file() for p in (*paths(repo), exporter(repo))):
        return
    build = Path(repo) / "build" / "release"
    print(f"building tarvox, kolber and snp2plink (Release) in {build}, a minute or so", file=sys.stderr,
          flush=True)
    for command in (["cmake", "-S", str(repo), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                     "-DBUILD_TESTING=OFF"],
                    ["cmake", "--build", str(build), "--target", "tarvox", "kolber", "snp2plink"]):
        try:
            done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        except FileNotFoundError:
            sys.exit("the programs cannot be built: cmake is missing (bash scripts/setup.sh installs it)")
        if done.returncode != 0:
            sys.exit(done.stdout + f"\nbuilding the programs failed: {' '.join(command)}")
