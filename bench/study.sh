#!/usr/bin/env bash
# The study benchmark: bash bench/study.sh [ROOT]
# Runs, with the programs already built, the example study (config/config.yaml)
# and a study of 320 replicates at 200 SNPs (nrec 100 and 150) with the README's
# command, $BENCH_REPEAT times each (default 3; medians shown), each in a new
# OUTDIR under $BENCH_DIR (default /tmp/snp-study-bench), and prints the
# workflow's overhead per replicate: (wall x cores - sum of the programs' wall
# seconds from replicates.tsv) / replicates, figures, tables and report included.
# Anchors from the same run: a bare Python start and Python importing Snakemake.
# ROOT (default: this checkout) is the checkout whose workflow runs, so a commit
# can be measured against another; the section goes to this checkout's
# bench/RESULTS.md, in place of an earlier study section.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
study_root="$(cd "${1:-$here}" && pwd)"
root="$here" BENCH_DIR="${BENCH_DIR:-/tmp/snp-study-bench}"
source "$here/bench/harness.sh"
bash "$here/scripts/setup.sh" study
cmake --build "$build" --target tarvox kolber snp2plink measure >/dev/null
# The README's options; BENCH_OPTIONS= (empty) measures a checkout whose README had none.
options="${BENCH_OPTIONS---scheduler greedy}"
cores=2
mkdir -p "$scratch"

# Sum of the named fields of every replicate's record in OUTDIR $1 (a record
# without tarvox_cpu_s, of an earlier workflow, counts tarvox's wall seconds).
record_sum() {
  /usr/bin/python3 -c 'import glob, json, sys
records = [json.load(open(p)) for p in glob.glob(sys.argv[1] + "/runs/*/*/replicate.json")]
print("%.3f" % sum(r.get(f, r.get(f.replace("_cpu_s", "_s"))) for r in records for f in sys.argv[2:]))' "$@"
}
anchor() {
  local runs=()
  for ((i = 0; i < 9; i++)); do
    "$measure" -- /usr/bin/python3 "$@" 2> "$scratch/anchor.time"
    runs+=("$(field wall "$scratch/anchor.time")")
  done
  median "${runs[@]}"
}

cat > "$scratch/320.yaml" <<'EOF'
replicates: 160
base: {n_snp: 200, n_qtl: 20, nprog: 0, nrec: 100, freq_min: 0.05, freq_max: 0.5, snp_range: 100,
       var_a: 40, h2: 0.3, mean: 100, seed: 1}
sweep: {nrec: [100, 150]}
EOF

# One study: wall, user + sys of Snakemake and every job, the programs' wall
# and user seconds. Prints "wall cpu programs programs_cpu replicates".
run_study() {
  local name=$1 study=$2 out="$scratch/$1.out"
  rm -rf "$out"
  local args=(-s workflow/Snakefile --cores "$cores" $options --directory "$out")
  [ -z "$study" ] || args+=(--configfile "$study")
  (cd "$study_root" && "$measure" --stdout "$scratch/$name.log" -- sh -c 'exec "$@" 2>&1' sh \
      /usr/bin/python3 -m snakemake "${args[@]}" 2> "$scratch/$name.time")
  grep -q "steps (100%) done" "$scratch/$name.log" || { tail -20 "$scratch/$name.log"; exit 1; }
  echo "$(field wall "$scratch/$name.time")" \
       "$(awk -v u="$(field user "$scratch/$name.time")" -v s="$(field sys "$scratch/$name.time")" 'BEGIN { print u + s }')" \
       "$(record_sum "$out" tarvox_s kolber_s)" "$(record_sum "$out" tarvox_cpu_s kolber_cpu_s)" \
       "$(($(wc -l < "$out/results/replicates.tsv") - 1))"
}

python_start=$(anchor -c pass)
python_snakemake=$(anchor -c "import snakemake.workflow")
rows=()
for name in example 320; do
  walls=() cpus=() programs=() overheads=() cpu_overheads=()
  for ((r = 1; r <= repeat; r++)); do
    study=""
    [ "$name" = example ] || study="$scratch/$name.yaml"
    read -r wall cpu prog prog_cpu reps < <(run_study "$name" "$study")
    walls+=("$wall") cpus+=("$cpu") programs+=("$prog")
    overheads+=("$(awk -v w="$wall" -v c="$cores" -v p="$prog" -v n="$reps" 'BEGIN { printf "%.1f", (w * c - p) / n * 1000 }')")
    cpu_overheads+=("$(awk -v u="$cpu" -v p="$prog_cpu" -v n="$reps" 'BEGIN { printf "%.1f", (u - p) / n * 1000 }')")
    echo "$name run $r: wall $wall s, cpu $cpu s, programs $prog s (cpu $prog_cpu s), $reps replicates," \
         "overhead ${overheads[-1]} ms, cpu overhead ${cpu_overheads[-1]} ms, load $(cut -d' ' -f1-3 /proc/loadavg)"
  done
  rows+=("| $([ "$name" = example ] && echo "example (config/config.yaml)" || echo "320 replicates, 200 SNPs") \
| $reps | $(median "${walls[@]}") | $(median "${programs[@]}") | $(median "${overheads[@]}") \
| $(median "${cpu_overheads[@]}") | $(median "${cpus[@]}") |")
done

section="$scratch/section.md"
{
  echo "## Study benchmark"
  echo
  echo "\`bash bench/study.sh\`, measured $(date -u '+%Y-%m-%d %H:%M UTC') at commit" \
       "$(git -C "$study_root" rev-parse --short HEAD 2>/dev/null || echo "(no git)") on $(nproc) cores," \
       "$(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
       "$(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), OUTDIR in $scratch" \
       "($(df -h "$scratch" | awk 'NR==2 {print $1}')). Programs built; the README's command with --cores $cores $options;"
  echo "medians of $repeat runs. Overhead per replicate = (wall × $cores cores − Σ programs' wall) / replicates"
  echo "(target ≤ 80 ms at 320 replicates; the example ≤ 12 s wall). The cpu column is (Snakemake's and every"
  echo "job's user + system seconds − the programs' user seconds) / replicates, which other users of a shared"
  echo "machine move far less than the wall time."
  echo "Anchors of the same run: a bare Python start (\`python3 -c pass\`) $python_start s, Python importing"
  echo "Snakemake's workflow module $python_snakemake s (medians of 9)."
  echo
  echo "| study | replicates | wall s | Σ programs s | overhead ms / replicate | cpu overhead ms / replicate | cpu s |"
  echo "|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
} > "$section"
replace_section "## Study benchmark" "$section"
cat "$section"
