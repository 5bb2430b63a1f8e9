#!/usr/bin/env bash
# The benchmark harness: bash bench/run.sh [SIZE ...]   (sizes S L T W XL; default S L T W)
# Builds in Release, runs tarvox, kolber and snp2plink at each size in a scratch
# directory ($BENCH_DIR, default /tmp/snp-bench), measures the anchors on the
# same file system, prints one table and writes it to bench/RESULTS.md.
# Every figure is the median of $BENCH_REPEAT runs (default 3); each program
# run alternates with its anchor's so a drift of the machine reaches both.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/bench/harness.sh"
cmake --build "$build" --target tarvox kolber measure anchor snp2plink >/dev/null
plink_rows=()
# What the SNP files look like is known to one Python module.
layout() { /usr/bin/python3 "$root/workflow/scripts/outputs.py" "$@"; }

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(S L T W)

declare -A SNPS=([S]=1000 [L]=10000 [T]=2000 [W]=50000 [XL]=10000)
declare -A RECS=([S]=2000 [L]=10000 [T]=50000 [W]=2000 [XL]=100000)

rows=()
for size in "${sizes[@]}"; do
  n_snp=${SNPS[$size]} nrec=${RECS[$size]}
  dir="$scratch/$size"
  rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"
  printf 'n_snp\n%s\nn_qtl\n%s\nnprog\n0\nnrec\n%s\nfrequency range\n0.05 0.5\nsnp_range\n100\nvar_a\n40\nh2\n0.3\nmean\n100\nseed\n1\n' \
    "$n_snp" $((n_snp / 10)) "$nrec" > par_tarvox
  line_chars=$(layout record-chars "$n_snp")

  # tarvox and the write anchor, each writing a new file and each starting
  # with no dirty pages of the other still waiting for the disk.
  t_walls=() t_rss=() writes=()
  for ((r = 1; r <= repeat; r++)); do
    rm -f SNP_data SNP_setup && sync
    "$measure" --stdout tarvox.out -- "$tarvox" 2> tarvox.time
    t_walls+=("$(field wall tarvox.time)") t_rss+=("$(field maxrss_kb tarvox.time)")
    sync
    writes+=("$("$anchor" write anchor_data "$line_chars" $((2 * nrec)))")
    rm -f anchor_data
  done
  t_wall=$(median "${t_walls[@]}") write_anchor=$(median "${writes[@]}") t_kb=$(median "${t_rss[@]}")

  # kolber, with the true variance ratio var_e / (var_a / sum 2p(1-p)).
  layout own-ratio SNP_setup 1 > answer
  sync
  starts=() rounds_all=() per_round=() results_all=() k_walls=() k_users=() k_rss=() train_reads=() all_reads=()
  for ((r = 1; r <= repeat; r++)); do
    "$measure" --stdin answer --stdout kolber.out -- "$kolber" 2> kolber.time
    start=$(sed -n 's/.*Iteration started at *\([0-9.]*\).*/\1/p' kolber.out)
    rounds=$(sed -n 's/.*reached in *\([0-9]*\) rounds.*/\1/p' kolber.out)
    converged=$(sed -n 's/.*rounds and *\([0-9.]*\) seconds.*/\1/p' kolber.out)
    finished=$(sed -n 's/.*Finished in *\([0-9.]*\).*/\1/p' kolber.out)
    starts+=("$start") rounds_all+=("$rounds")
    per_round+=("$(awk -v a="$converged" -v b="$start" -v n="$rounds" 'BEGIN { printf "%.1f", (a - b) * 1000 / n }')")
    results_all+=("$(awk -v a="$finished" -v b="$converged" 'BEGIN { printf "%.2f", a - b }')")
    k_walls+=("$(field wall kolber.time)") k_users+=("$(field user kolber.time)") k_rss+=("$(field maxrss_kb kolber.time)")
    train_reads+=("$("$anchor" read SNP_data "$nrec" $((2 * n_snp)))")
    all_reads+=("$("$anchor" read SNP_data $((2 * nrec)) $((2 * n_snp)))")
  done
  start=$(median "${starts[@]}") rounds=$(median "${rounds_all[@]}") ms_round=$(median "${per_round[@]}")
  results=$(median "${results_all[@]}") k_wall=$(median "${k_walls[@]}") k_user=$(median "${k_users[@]}")
  k_kb=$(median "${k_rss[@]}") read_train=$(median "${train_reads[@]}") read_all=$(median "${all_reads[@]}")
  corr=$(grep 'corr' kolber.out | tail -1 | sed 's/.*://; s/\r//')

  # The targets: ratios against the anchors, memory (0.3 byte per element of
  # the design matrix), the solver's round at L, T, W and XL, the whole run at
  # L and XL.
  mem_limit_mb=$(awk -v r="$nrec" -v s="$n_snp" 'BEGIN { printf "%.0f", (0.3 * r * (s + 1)) / 1048576 + 50 }')
  t_ratio=$(ratio "$t_wall" "$write_anchor") load_ratio=$(ratio "$start" "$read_train")
  results_ratio=$(ratio "$results" "$read_all")
  missed=()
  within "$t_ratio" 2 || missed+=("tarvox time")
  within $((t_kb / 1024)) 50 || missed+=("tarvox memory")
  within "$load_ratio" 1.5 || missed+=("loading")
  within "$results_ratio" 1.5 || missed+=("results")
  within $((k_kb / 1024)) "$mem_limit_mb" || missed+=("kolber memory")
  case "$size" in
    L | T | W) within "$ms_round" 15 || missed+=("round") ;;
    XL) within "$ms_round" 150 || missed+=("round") ;;
  esac
  [ "$size" != L ] || within "$k_wall" 5.75 || missed+=("kolber time")
  [ "$size" != XL ] || within "$k_wall" 10 || missed+=("kolber time")
  # snp2plink: the export against reading and converting the whole file,
  # alternating run by run; memory at most the packed genotypes + 8 MB.
  p_walls=() p_rss=() p_reads=()
  for ((r = 1; r <= repeat; r++)); do
    "$measure" --stdout snp2plink.out -- "$snp2plink" bench 2> snp2plink.time
    p_walls+=("$(field wall snp2plink.time)") p_rss+=("$(field maxrss_kb snp2plink.time)")
    p_reads+=("$("$anchor" read SNP_data $((2 * nrec)) $((2 * n_snp)))")
    rm -f bench.bed bench.bim bench.fam bench.bv bench.train bench.indep bench.effects
  done
  p_wall=$(median "${p_walls[@]}") p_read=$(median "${p_reads[@]}") p_kb=$(median "${p_rss[@]}")
  p_ratio=$(ratio "$p_wall" "$p_read")
  p_limit_mb=$(awk -v r="$nrec" -v s="$n_snp" 'BEGIN { printf "%.0f", s * int((2 * r + 3) / 4) / 1048576 + 8 }')
  p_missed=()
  within "$p_ratio" 1.5 || p_missed+=("time")
  within $((p_kb / 1024)) "$p_limit_mb" || p_missed+=("memory")
  p_verdict="all met"
  [ ${#p_missed[@]} -eq 0 ] || p_verdict="missed: $(IFS=,; echo "${p_missed[*]}")"
  plink_rows+=("| $size | $n_snp | $((2 * nrec)) | $p_wall | $p_read | $p_ratio | $((p_kb / 1024)) / $p_limit_mb | $p_verdict |")
  echo "${plink_rows[-1]}"

  verdict="all met"
  [ ${#missed[@]} -eq 0 ] || verdict="missed: $(IFS=,; echo "${missed[*]}")"
  rows+=("| $size | $n_snp | $nrec | $t_wall | $write_anchor | $t_ratio | $((t_kb / 1024)) \
| $start | $read_train | $load_ratio | $rounds | $ms_round | $results | $read_all \
| $results_ratio | $k_wall | $k_user | $((k_kb / 1024)) / $mem_limit_mb | $corr | $verdict |")
  echo "${rows[-1]}"
done

{
  echo "# Benchmark figures"
  echo
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') at commit $(git -C "$root" rev-parse --short HEAD) on:"
  echo "$(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
       "$(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), scratch in $scratch ($(df -h "$scratch" | awk 'NR==2 {print $1}'))."
  echo
  echo "Each figure is the median of $repeat runs. Seconds are wall time unless marked cpu. Ratios are against"
  echo "the anchors measured in the same run: writing the same bytes from one prepared line (write), reading"
  echo "lines back and converting their digits (read nrec: the training records; read 2nrec: the whole file)."
  echo "Targets in brackets; the round has 15 ms at L, T, W and 150 ms at XL; the whole kolber run 5.75 s"
  echo "at L and 10 s at XL; kolber's memory 0.3 byte per element of the design matrix + 50 MB."
  echo
  echo "| size | SNPs | nrec | tarvox s | write s | ratio (≤ 2) | tarvox MB (≤ 50) | load cpu s | read nrec s | ratio (≤ 1.5) | rounds | ms/round cpu (≤ 15, XL ≤ 150) | results cpu s | read 2nrec s | ratio (≤ 1.5) | kolber s (L ≤ 5.75, XL ≤ 10) | kolber cpu s | kolber MB / limit | corr | targets |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "snp2plink PREFIX: the export of the whole SNP_data against reading and converting it (read 2nrec);"
  echo "memory against the genotypes at two bits each plus 8 MB for the program, a record and the effects."
  echo
  echo "| size | SNPs | records | snp2plink s | read 2nrec s | ratio (≤ 1.5) | MB / limit | targets |"
  echo "|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${plink_rows[@]}"
} > "$scratch/section.md"
replace_section "# Benchmark figures" "$scratch/section.md"
cat "$scratch/section.md"
