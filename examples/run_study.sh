#!/usr/bin/env bash
# Builds both programs and runs the example study end to end in a scratch
# directory: bash examples/run_study.sh [directory]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build/release" --target tarvox kolber >/dev/null

study="${1:-$(mktemp -d /tmp/snp-study.XXXXXX)}"
mkdir -p "$study"
cp "$root/examples/par_tarvox" "$study/"
cd "$study"

"$root/build/release/simulator/tarvox"

# The variance ratio of SNP-BLUP: residual variance over the variance of one
# SNP effect, var_e * sum(2p(1-p)) / var_a, from the simulation's own set-up.
ratio=$(awk 'NR==4 {var_a=$1; var_e=$2}
             section=="freq" && /^ *[0-9.]/ {for (i=1; i<=NF; i++) s+=2*$i*(1-$i)}
             /snp_freq/ {section="freq"} /snp_val/ {section=""}
             END {printf "%.1f", var_e*s/var_a}' SNP_setup)
echo
echo "answering the prompt with the variance ratio $ratio"
echo "$ratio" | "$root/build/release/estimator/kolber"

echo
echo "The study's files are in $study:"
ls -l "$study"
