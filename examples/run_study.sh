#!/usr/bin/env bash
# Installs what is missing, then runs the example study (config/config.yaml)
# with the workflow on two cores: bash examples/run_study.sh [OUTDIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh" study
out="$(realpath -m "${1:-$(mktemp -d /tmp/snp-study.XXXXXX)}")"
cd "$root"
snakemake -s workflow/Snakefile --cores 2 --directory "$out"
echo
echo "The study's tables and figures are in $out/results:"
ls -l "$out/results"
