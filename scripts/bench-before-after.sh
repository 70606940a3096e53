#!/bin/bash
# The store's benchmarks (bench_store, bench_server) of two builds, run in turns in one go
# (before, after, after, before), and each figure of add, show, list and find at 100,000
# snippets printed before and after with its growth; a figure may grow by at most 10 %.
#   scripts/bench-before-after.sh BEFORE_BIN_DIR AFTER_BIN_DIR
# Each folder holds the two benchmarks as a build of that version makes them (the same build
# type for both, as the default preset's RelWithDebInfo).
set -euo pipefail
before=${1:?the folder of the earlier build\'s benchmarks}
after=${2:?the folder of the later build\'s benchmarks}
out=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$out"' EXIT
echo "runs in $out" >&2
export QT_QPA_PLATFORM=offscreen

# bench_store: the medians of the library made by init (the part before the file without the
# index); bench_server: its summary table.
store_figures() {
    awk '/without the index/ { exit }
         / median / { name = substr($0, 1, index($0, " median ") - 1); gsub(/^ +| +$/, "", name)
                      for (i = 1; i <= NF; i++) if ($i == "median") value = $(i + 1)
                      if (name !~ /drop-down|of which|combo/) print "file: " name "\t" value }' "$1"
}
server_figures() {
    awk '/^figure / { table = 1; next }
         table && / ms / { name = substr($0, 1, 40); gsub(/ +$/, "", name); split(substr($0, 41), f, " ")
                           if (name !~ /percentile/) print "server: " name "\t" f[1] }' "$1"
}

run() { # version round
    "$1/bench_store" >"$out/store-$2-$3.txt" 2>&1 || true
    "$1/bench_server" >"$out/server-$2-$3.txt" 2>&1 || true
    { store_figures "$out/store-$2-$3.txt"; server_figures "$out/server-$2-$3.txt"; } >"$out/$2-$3.tsv"
}
run "$before" before 1
run "$after" after 1
run "$after" after 2
run "$before" before 2

# The mean of each figure's two medians, before and after, side by side.
awk -F '\t' '
    { key = $1; sum[FILENAME ~ /before/ ? "b" : "a", key] += $2; n[FILENAME ~ /before/ ? "b" : "a", key]++
      if (!(key in seen)) { seen[key] = 1; order[++count] = key } }
    END {
        printf "%-52s %10s %10s %8s %8s  %s\n", "figure", "before", "after", "growth", "target", "result"
        failed = 0
        for (i = 1; i <= count; i++) {
            k = order[i]
            if (!n["b", k] || !n["a", k]) { printf "%-52s %10s %10s\n", k, n["b", k] ? "" : "-", n["a", k] ? "" : "-"; continue }
            b = sum["b", k] / n["b", k]; a = sum["a", k] / n["a", k]; g = b > 0 ? (a - b) / b * 100 : 0
            ok = g <= 10; failed += !ok
            printf "%-52s %7.2f ms %7.2f ms %+7.1f%% %8s  %s\n", k, b, a, g, "<= +10%", ok ? "pass" : "FAIL"
        }
        exit failed > 0
    }' "$out"/before-1.tsv "$out"/before-2.tsv "$out"/after-1.tsv "$out"/after-2.tsv
