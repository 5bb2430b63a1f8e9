#!/usr/bin/env bash
# The benchmark harness: bash bench/run.sh [SIZE ...]   (sizes S L T W; default all)
# Builds in Release, runs tarvox then kolber at each size in a scratch
# directory ($BENCH_DIR, default /tmp/snp-bench), measures the anchors on the
# same file system, prints one table and writes it to bench/RESULTS.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target tarvox kolber measure anchor >/dev/null
tarvox="$build/simulator/tarvox" kolber="$build/estimator/kolber"
measure="$build/bench/measure" anchor="$build/bench/anchor"

scratch="${BENCH_DIR:-/tmp/snp-bench}"
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(S L T W)

declare -A SNPS=([S]=1000 [L]=10000 [T]=2000 [W]=50000)
declare -A RECS=([S]=2000 [L]=10000 [T]=50000 [W]=2000)

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" "$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

rows=()
for size in "${sizes[@]}"; do
  n_snp=${SNPS[$size]} nrec=${RECS[$size]}
  dir="$scratch/$size"
  rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"
  printf 'n_snp\n%s\nn_qtl\n%s\nnprog\n0\nnrec\n%s\nfrequency range\n0.05 0.5\nsnp_range\n100\nvar_a\n40\nh2\n0.3\nmean\n100\nseed\n1\n' \
    "$n_snp" $((n_snp / 10)) "$nrec" > par_tarvox

  "$measure" --stdout tarvox.out -- "$tarvox" 2> tarvox.time
  ratio_answer=$(awk 'NR==4 {var_a=$1; var_e=$2}
                      section=="freq" && /^ *[0-9.]/ {for (i=1; i<=NF; i++) s+=2*$i*(1-$i)}
                      /snp_freq/ {section="freq"} /snp_val/ {section=""}
                      END {printf "%.1f", var_e*s/var_a}' SNP_setup)
  echo "$ratio_answer" > answer
  "$measure" --stdin answer --stdout kolber.out -- "$kolber" 2> kolber.time

  line_chars=$((24 + 2 * n_snp))
  write_anchor=$("$anchor" write anchor_data "$line_chars" $((2 * nrec)))
  rm -f anchor_data
  sync SNP_data
  read_train=$("$anchor" read SNP_data "$nrec" $((2 * n_snp)))
  read_all=$("$anchor" read SNP_data $((2 * nrec)) $((2 * n_snp)))

  t_wall=$(field wall tarvox.time) t_rss=$(field maxrss_kb tarvox.time)
  k_wall=$(field wall kolber.time) k_user=$(field user kolber.time) k_rss=$(field maxrss_kb kolber.time)
  start=$(sed -n 's/.*Iteration started at *\([0-9.]*\).*/\1/p' kolber.out)
  rounds=$(sed -n 's/.*reached in *\([0-9]*\) rounds.*/\1/p' kolber.out)
  converged=$(sed -n 's/.*rounds and *\([0-9.]*\) seconds.*/\1/p' kolber.out)
  finished=$(sed -n 's/.*Finished in *\([0-9.]*\).*/\1/p' kolber.out)
  corr=$(grep 'corr' kolber.out | tail -1 | sed 's/.*://')

  ms_round=$(awk -v a="$converged" -v b="$start" -v n="$rounds" 'BEGIN { printf "%.1f", (a - b) * 1000 / n }')
  results=$(awk -v a="$finished" -v b="$converged" 'BEGIN { printf "%.2f", a - b }')
  mem_limit_mb=$(awk -v r="$nrec" -v s="$n_snp" 'BEGIN { printf "%.0f", (1.1 * r * (s + 1)) / 1048576 + 50 }')
  rows+=("| $size | $n_snp | $nrec | $t_wall | $write_anchor | $(ratio "$t_wall" "$write_anchor") | $((t_rss / 1024)) \
| $start | $read_train | $(ratio "$start" "$read_train") | $rounds | $ms_round | $results | $read_all \
| $(ratio "$results" "$read_all") | $k_wall | $k_user | $((k_rss / 1024)) / $mem_limit_mb | $corr |")
  echo "${rows[-1]}"
done

{
  echo "# Benchmark figures"
  echo
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') at commit $(git -C "$root" rev-parse --short HEAD) on:"
  echo "$(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
       "$(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), scratch in $scratch ($(df -h "$scratch" | awk 'NR==2 {print $1}'))."
  echo
  echo "Seconds are wall time unless marked cpu. Ratios are against the anchors measured in the same run:"
  echo "writing the same bytes from one prepared line (write), reading lines back and converting their digits"
  echo "(read nrec: the training records; read 2nrec: the whole file)."
  echo
  echo "| size | SNPs | nrec | tarvox s | write s | ratio (≤ 2) | tarvox MB (≤ 50) | load cpu s | read nrec s | ratio (≤ 1.5) | rounds | ms/round cpu (≤ 30 at L) | results cpu s | read 2nrec s | ratio (≤ 1.5) | kolber s | kolber cpu s | kolber MB / limit | corr |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
} > "$root/bench/RESULTS.md.new"
mv "$root/bench/RESULTS.md.new" "$root/bench/RESULTS.md"
cat "$root/bench/RESULTS.md"
