# What the benchmark harnesses share, sourced by bench/run.sh, bench/bayes.sh and bench/study.sh
# once they have set `root`: the Release build's configuration and where its
# programs are (each harness builds those it runs), the scratch
# directory ($BENCH_DIR, default /tmp/snp-bench) and the runs per figure
# ($BENCH_REPEAT, default 3), and the helpers that read bench/measure's line
# and take medians and ratios.
bash "$root/scripts/setup.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=ON >/dev/null
tarvox="$build/simulator/tarvox" kolber="$build/estimator/kolber" snp2plink="$build/snp2plink/snp2plink"
snpbayes="$build/bayes/snpbayes" measure="$build/bench/measure" anchor="$build/bench/anchor"
scratch="${BENCH_DIR:-/tmp/snp-bench}"
repeat="${BENCH_REPEAT:-3}"

# A figure of bench/measure's line ("wall=... maxrss_kb=...") in file $2.
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" "$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Whether value $1 is at most limit $2.
within() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }

# Puts the section in file $2, whose first line is the heading $1, into
# bench/RESULTS.md: in place of the section under that heading (up to the next
# "# " or "## " heading), or at the end. The other sections stay as they are,
# the ones added by hand included.
replace_section() {
  local results="$root/bench/RESULTS.md"
  touch "$results"
  awk -v heading="$1" -v section="$2" '
    function put(  line) { while ((getline line < section) > 0) out[n++] = line; out[n++] = ""; done = 1 }
    $0 == heading { skip = 1; put(); next }
    skip && /^##? / { skip = 0 }
    !skip { out[n++] = $0 }
    END {
      if (!done) { if (n > 0 && out[n - 1] != "") out[n++] = ""; put() }
      while (n > 0 && out[n - 1] == "") n--
      for (i = 0; i < n; i++) print out[i]
    }' "$results" > "$results.new"
  mv "$results.new" "$results"
}
