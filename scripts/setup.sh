#!/usr/bin/env bash
# Installs the Debian packages a fresh machine lacks:
#   bash scripts/setup.sh            the build: cmake, ninja, g++, GoogleTest, Google Benchmark
#   bash scripts/setup.sh study      and the study workflow: Snakemake, matplotlib, pytest, faketime
#   bash scripts/setup.sh cluster    and a one-node Slurm cluster for the workflow's cluster test
# Further arguments are Debian package names.
set -euo pipefail

packages=()
want() { dpkg -s "$1" >/dev/null 2>&1 || packages+=("$1"); }
command -v cmake >/dev/null || packages+=(cmake)
command -v ninja >/dev/null || packages+=(ninja-build)
command -v g++ >/dev/null || packages+=(g++)
[ -f /usr/include/gtest/gtest.h ] || packages+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || packages+=(libbenchmark-dev)
for extra in "$@"; do
  case "$extra" in
    study) for p in snakemake python3-matplotlib python3-yaml python3-jsonschema python3-pytest python3-numpy \
                    faketime; do want "$p"; done ;;
    cluster) for p in slurmctld slurmd slurm-client munge; do want "$p"; done ;;
    *) want "$extra" ;;
  esac
done

if [ ${#packages[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root, or install these Debian packages first: ${packages[*]}" >&2
    exit 1
  fi
  echo "installing ${#packages[@]} Debian packages and what they need: ${packages[*]}"
  echo "(without recommended packages; a few minutes on a fresh machine, most of it downloading)"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
  echo "installed"
fi
