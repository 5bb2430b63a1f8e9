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
  apt-get update -qq
  # What apt will install, counted and sized before it starts.
  plan=$(apt-get install -s --no-install-recommends "${packages[@]}" | awk '/^Inst / { print $2 }')
  sizes="nothing to download"
  [ -z "$plan" ] || sizes=$(apt-cache show --no-all-versions $plan | awk '/^Size:/ { d += $2 } /^Installed-Size:/ { i += $2 }
    END { printf "%.1f MB to download, %.1f MB on disk", d / 1e6, i / 1024 }')
  echo "installing ${packages[*]} and what they need: $(echo "$plan" | wc -w) Debian package(s) without" \
       "recommended ones, $sizes"
  # apt's own progress (its status lines), every tenth; its full output goes to a log.
  log=$(mktemp /tmp/setup-apt.XXXXXX.log)
  if ! { DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o APT::Status-Fd=3 \
           "${packages[@]}" 3>&1 >"$log" 2>&1; } |
       awk -F: '$1 == "dlstatus" || $1 == "pmstatus" {
                  step = int($3 / 10) * 10; phase = $1 == "dlstatus" ? "downloading" : "installing"
                  if (!(phase in last) || step > last[phase]) { last[phase] = step; printf "  %s %d%%\n", phase, step; fflush() } }'; then
    tail -20 "$log" >&2
    echo "installing Debian packages failed; apt's output: $log" >&2
    exit 1
  fi
  rm -f "$log"
  echo "installed"
fi
