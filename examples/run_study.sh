#!/usr/bin/env bash
# Installs what is missing, then runs the example study (config/config.yaml),
# or the study file STUDY, with the workflow on two cores:
#   bash examples/run_study.sh [OUTDIR [STUDY]]
# OUTDIR defaults to out/example in this checkout (git ignores out/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh" study
out="$(realpath -m "${1:-$root/out/example}")"
study=()
[ -z "${2:-}" ] || study=(--configfile "$(realpath "$2")")
echo "The ${2:+study $2}${2:-example study} runs in $out"
cd "$root"
status=0
snakemake -s workflow/Snakefile --cores 2 --scheduler greedy "${study[@]}" --directory "$out" || status=$?
# Snakemake names its log relative to OUTDIR.
log=$(ls -t "$out"/.snakemake/log/*.snakemake.log 2>/dev/null | head -1)
echo
[ -z "$log" ] || echo "Snakemake's complete log: $log"
if [ "$status" -ne 0 ]; then
  echo "The study stopped (exit status $status); running this again resumes it." >&2
  exit "$status"
fi
echo "The study's tables, figures and report (open it in a browser) are in $out/results:"
ls -l "$out/results"
