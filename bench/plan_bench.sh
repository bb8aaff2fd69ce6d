#!/usr/bin/env bash
# What planning a synchronization costs beside the analysis it follows, in turns,
# with the Wine server running, each as a whole process:
#   dry     commit --dry-run of 8,000 files of 2 KB in 40 folders into an empty
#           folder, against analyze of the same pair
#   sync    a repeated sync with nothing to do over 2 x N files (-s N, default
#           20000), against analyze of the pair, with each one's peak resident memory
# Prints the figures and writes them into bench/RESULTS.md between the plan markers.
#
# usage: bench/plan_bench.sh [-n RUNS] [-o CORPUS_DIR] [-k KINDS] [-s FILES]
#   -k KINDS  comma list of dry,sync (default both)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
runs=5 corpus=${TMPDIR:-/tmp}/quillmar-corpus kinds=dry,sync files=20000
command_line="bash bench/plan_bench.sh $*"
while getopts "n:o:k:s:h" opt; do
  case $opt in
    n) runs=$OPTARG ;; o) corpus=$OPTARG ;; k) kinds=$OPTARG ;; s) files=$OPTARG ;;
    h) sed -n '2,12p' "$0"; exit 0 ;;
    *) exit 2 ;;
  esac
done

source "$root/scripts/common.sh"
prepare quillmar-cli >/dev/null
cli=$BUILD_DIR/bin/quillmar-cli.exe
command -v bc >/dev/null || as_root apt-get install -y -qq bc >/dev/null
wineserver -p10 >/dev/null 2>&1 </dev/null || true
wine "$cli" --version >/dev/null 2>&1 || true

win() { echo "Z:${1//\//\\}"; }
median_of() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# measured COMMAND...: "SECONDS KILOBYTES" of the command alone; statuses 0 and 1 are answers.
measured() {
  local report status=0
  report=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$report" "$@" >/dev/null 2>&1 || status=$?
  [ "$status" -le 1 ] || { echo "failed ($status): $*" >&2; exit 1; }
  tail -n 1 "$report"
  rm -f "$report"
}

rows=()
IFS=, read -ra kind_list <<<"$kinds"
for kind in "${kind_list[@]}"; do
  if [ "$kind" = dry ]; then
    source=$corpus/plan-dry/source target=$corpus/plan-dry/target
    if [ ! -f "$corpus/plan-dry/made" ]; then
      rm -rf "$source" && mkdir -p "$source"
      for folder in $(seq 1 40); do
        mkdir -p "$source/d$folder"
        for file in $(seq 1 200); do head -c 2048 /dev/urandom >"$source/d$folder/f$file.bin"; done
      done
      touch "$corpus/plan-dry/made"
    fi
    rm -rf "$target" && mkdir -p "$target"
    ours=() floor=()
    for _ in $(seq "$runs"); do
      floor+=("$(measured wine "$cli" analyze "$(win "$source")" "$(win "$target")" | cut -d' ' -f1)")
      ours+=("$(measured wine "$cli" commit --dry-run "$(win "$source")" "$(win "$target")" | cut -d' ' -f1)")
    done
    ours_median=$(median_of "${ours[@]}") floor_median=$(median_of "${floor[@]}")
    ratio=$(printf '%.2f' "$(echo "$ours_median / $floor_median" | bc -l)")
    printf 'dry    commit --dry-run %7.3f s  analyze %7.3f s  %s x\n' "$ours_median" "$floor_median" "$ratio"
    rows+=("| \`quillmar-cli commit --dry-run\`, 8,000 files of 2 KB into an empty folder | $(printf '%.3f' "$ours_median") s | $(printf '%.3f' "$floor_median") s | $ratio x \`analyze\` of the pair |")
  else
    base=$corpus/plan-sync-$files
    if [ ! -f "$base/made" ]; then
      rm -rf "$base" && mkdir -p "$base"
      python3 - "$base/left" "$files" <<'EOF'
import os, sys
top, count = sys.argv[1], int(sys.argv[2])
per = 1000
for start in range(0, count, per):
    folder = os.path.join(top, f"folder{start // per:05d}", f"sub{start // per % 10}")
    os.makedirs(folder, exist_ok=True)
    for index in range(start, min(count, start + per)):
        open(os.path.join(folder, f"file_{index:07d}_document.txt"), "w").close()
EOF
      cp -a "$base/left" "$base/right"
      touch "$base/made"
    fi
    baseline=$base/pair.baseline
    rm -f "$baseline"
    wine "$cli" sync --baseline "$(win "$baseline")" "$(win "$base/left")" "$(win "$base/right")" >/dev/null 2>&1
    ours=() floor=() ours_kb=() floor_kb=()
    for _ in $(seq "$runs"); do
      read -r seconds kilobytes < <(measured wine "$cli" analyze "$(win "$base/left")" "$(win "$base/right")")
      floor+=("$seconds") floor_kb+=("$kilobytes")
      read -r seconds kilobytes < <(measured wine "$cli" sync --baseline "$(win "$baseline")" "$(win "$base/left")" "$(win "$base/right")")
      ours+=("$seconds") ours_kb+=("$kilobytes")
    done
    ours_median=$(median_of "${ours[@]}") floor_median=$(median_of "${floor[@]}")
    ours_peak=$(median_of "${ours_kb[@]}") floor_peak=$(median_of "${floor_kb[@]}")
    ratio=$(printf '%.2f' "$(echo "$ours_median / $floor_median" | bc -l)")
    # Bytes a path beyond what the analysis of the same pair holds: what the run adds to the scan.
    per_path=$(printf '%.0f' "$(echo "($ours_peak - $floor_peak) * 1024 / $files" | bc -l)")
    whole_path=$(printf '%.0f' "$(echo "$ours_peak * 1024 / $files" | bc -l)")
    printf 'sync   %d a side %7.3f s (%d KB)  analyze %7.3f s (%d KB)  %s x, %s B a path beyond the analysis\n' \
      "$files" "$ours_median" "$ours_peak" "$floor_median" "$floor_peak" "$ratio" "$per_path"
    rows+=("| \`quillmar-cli sync\`, a repeated run with nothing to do, 2 x $files files | $(printf '%.3f' "$ours_median") s | $(printf '%.3f' "$floor_median") s | $ratio x \`analyze\` of the pair; peak $((ours_peak / 1024)) MiB ($whole_path B a path, Wine's own included) against $((floor_peak / 1024)) MiB, $per_path B a path beyond it |")
  fi
done
stamp="$(date -u +%F), $(git -C "$root" rev-parse --short HEAD), median of $runs in turns, \`$command_line\`"
python3 "$here/write_results.py" "$here/RESULTS.md" plan "Planning" "$stamp" "${rows[@]}"
