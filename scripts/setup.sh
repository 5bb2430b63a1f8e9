#!/usr/bin/env bash
# Installs the Debian packages the build needs when a fresh machine lacks them.
set -euo pipefail

packages=()
command -v cmake >/dev/null || packages+=(cmake)
command -v ninja >/dev/null || packages+=(ninja-build)
command -v g++ >/dev/null || packages+=(g++)
[ -f /usr/include/gtest/gtest.h ] || packages+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || packages+=(libbenchmark-dev)
for extra in "$@"; do
  dpkg -s "$extra" >/dev/null 2>&1 || packages+=("$extra")
done

if [ ${#packages[@]} -gt 0 ]; then
  echo "installing: ${packages[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root, or install these packages first: ${packages[*]}" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
fi
