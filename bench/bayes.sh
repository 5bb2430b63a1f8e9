#!/usr/bin/env bash
# snpbayes' benchmark: bash bench/bayes.sh [SIZE ...]   (sizes S L XL; default S L)
# Builds in Release, simulates each size with tarvox in a scratch directory
# ($BENCH_DIR/bayes-SIZE, default /tmp/snp-bench), and runs kolber and snpbayes
# on the same study, alternating, $BENCH_REPEAT times (default 3). The anchor
# is kolber's solver round measured in the same run: one product with X'X,
# two plain passes over the same packed matrix. Prints one table and writes it
# with the machine's description as the snpbayes section of bench/RESULTS.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/bench/harness.sh"
cmake --build "$build" --target tarvox kolber snpbayes measure >/dev/null

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(S L)

declare -A SNPS=([S]=1000 [L]=10000 [XL]=10000)
declare -A RECS=([S]=2000 [L]=10000 [XL]=100000)
declare -A ITERATIONS=([S]=2000 [L]=2000 [XL]=400)
declare -A METHODS=([S]="bayescpi brr bayesr" [L]="bayescpi brr bayesr" [XL]="bayescpi")
# Processor milliseconds per iteration the issue holds each size and method to.
declare -A TARGET=([L bayescpi]=12 [L brr]=25 [L bayesr]=25 [XL bayescpi]=150)

json() { sed -n "s/^  \"$1\": \"*\([-0-9.ea-z]*\)\"*,*$/\1/p" "$2"; }

rows=()
for size in "${sizes[@]}"; do
  n_snp=${SNPS[$size]} nrec=${RECS[$size]} iterations=${ITERATIONS[$size]}
  dir="$scratch/bayes-$size"
  rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"
  printf 'n_snp\n%s\nn_qtl\n%s\nnprog\n0\nnrec\n%s\nfrequency range\n0.05 0.5\nsnp_range\n100\nvar_a\n40\nh2\n0.3\nmean\n100\nseed\n1\n' \
    "$n_snp" $((n_snp / 10)) "$nrec" > par_tarvox
  "$tarvox" > tarvox.out
  echo 100 > answer
  mem_limit_mb=$(awk -v r="$nrec" -v s="$n_snp" 'BEGIN { printf "%.0f", (0.3 * r * (s + 1)) / 1048576 + 50 }')
  for method in ${METHODS[$size]}; do
    rounds=() its=() rss=() walls=()
    for ((r = 1; r <= repeat; r++)); do
      "$measure" --stdin answer --stdout kolber.out -- "$kolber" 2> kolber.time
      rounds+=("$(awk '/Iteration started at/ { s = $4 } /reached in/ { n = $(NF - 4); c = $(NF - 1) }
                       END { printf "%.2f", (c - s) * 1000 / n }' kolber.out)")
      "$measure" -- "$snpbayes" --method "$method" --iterations "$iterations" --quiet --out bench 2> bayes.time
      its+=("$(json ms_per_iteration bench.json)") rss+=("$(field maxrss_kb bayes.time)")
      walls+=("$(field wall bayes.time)")
    done
    round=$(median "${rounds[@]}") ms=$(median "${its[@]}") kb=$(median "${rss[@]}") wall=$(median "${walls[@]}")
    verdict="met"
    within $((kb / 1024)) "$mem_limit_mb" || verdict="missed: memory"
    if [ -n "${TARGET[$size $method]:-}" ] && ! within "$ms" "${TARGET[$size $method]}"; then verdict="missed: time"; fi
    target="${TARGET[$size $method]:-}"
    rows+=("| $size | $n_snp | $nrec | $method | $iterations | $(printf %.2f "$ms") | ${target:--} | $round \
| $(ratio "$ms" "$round") | $wall | $((kb / 1024)) / $mem_limit_mb | $(printf %.3f "$(json acc_indep bench.json)") \
| $(printf %.0f "$(json ess_min bench.json)") | $verdict |")
    echo "${rows[-1]}"
  done
done

section="$root/bench/RESULTS.md.bayes"
{
  echo "## snpbayes"
  echo
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') at commit $(git -C "$root" rev-parse --short HEAD) by bench/bayes.sh on:"
  echo "$(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
       "$(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), kernel $(json kernel "$scratch/bayes-${sizes[0]}/bench.json" || true)."
  echo
  echo "Median of $repeat runs, each alternating with a run of kolber on the same study. ms/iteration is the"
  echo "sampler's processor time per iteration as PREFIX.json records it (the whole chain, burn-in included);"
  echo "the anchor is kolber's solver round in the same run (processor ms: one product with X'X, two plain"
  echo "passes over the packed matrix), and the ratio says how many such rounds an iteration costs. Memory is"
  echo "the peak resident set against 0.3 byte per element of the training matrix + 50 MB."
  echo
  echo "| size | SNPs | nrec | method | iterations | ms/iteration cpu | target | kolber ms/round | ratio | wall s | MB / limit | acc_indep | ess_min | targets |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
} > "$section"
replace_section "## snpbayes" "$section"
rm -f "$section"
awk '/^## snpbayes$/ { found = 1; print; next } /^##? / { found = 0 } found' "$root/bench/RESULTS.md"
