#!/usr/bin/env bash
# The companion's copies against the floor of one-at-a-time system copies
# (bench/copy_floor.cpp), in turns, each into an empty folder made anew:
#   small   commit of 8,000 files of 2 KB in 40 folders
#   big     commit of 4 files of 128 MiB, and the same with --verify
# Prints the figures and writes them into bench/RESULTS.md between the copy markers.
#
# usage: bench/copy_bench.sh [-n RUNS] [-o CORPUS_DIR] [-k KINDS]
#   -k KINDS  comma list of small,big (default both)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
runs=5 corpus=${TMPDIR:-/tmp}/quillmar-corpus kinds=small,big
command_line="bash bench/copy_bench.sh $*"
while getopts "n:o:k:h" opt; do
  case $opt in
    n) runs=$OPTARG ;; o) corpus=$OPTARG ;; k) kinds=$OPTARG ;;
    h) sed -n '2,10p' "$0"; exit 0 ;;
    *) exit 2 ;;
  esac
done

source "$root/scripts/common.sh"
prepare quillmar-cli >/dev/null
cli=$BUILD_DIR/bin/quillmar-cli.exe
floor=$BUILD_DIR/bench/copy_floor.exe
mkdir -p "$(dirname "$floor")"
if [ ! -f "$floor" ] || [ "$here/copy_floor.cpp" -nt "$floor" ]; then
  i686-w64-mingw32-g++-posix -O2 -static -municode -o "$floor" "$here/copy_floor.cpp"
fi
command -v bc >/dev/null || as_root apt-get install -y -qq bc >/dev/null

make_corpus() {  # make_corpus KIND: the source tree, made once
  local source=$corpus/copy-$1/source
  [ -f "$source/../made" ] && return 0
  rm -rf "$source" && mkdir -p "$source"
  if [ "$1" = small ]; then
    for folder in $(seq 1 40); do
      mkdir -p "$source/d$folder"
      for file in $(seq 1 200); do head -c 2048 /dev/urandom >"$source/d$folder/f$file.bin"; done
    done
  else
    for file in 1 2 3 4; do head -c $((128 << 20)) /dev/urandom >"$source/big$file.bin"; done
  fi
  touch "$source/../made"
}

wineserver -p10 >/dev/null 2>&1 </dev/null || true
wine "$floor" >/dev/null 2>&1 || true

win() { echo "Z:${1//\//\\}"; }
# timed COMMAND...: empties the target, then prints the wall time of the command alone.
timed() {
  rm -rf "$target" && mkdir -p "$target" && sync
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median_of() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

rows=()
IFS=, read -ra kind_list <<<"$kinds"
for kind in "${kind_list[@]}"; do
  make_corpus "$kind"
  source=$corpus/copy-$kind/source target=$corpus/copy-$kind/target
  floor_times=() ours_times=() verify_times=()
  for _ in $(seq "$runs"); do
    floor_times+=("$(timed wine "$floor" "$(win "$source")" "$(win "$target")")")
    ours_times+=("$(timed wine "$cli" commit "$(win "$source")" "$(win "$target")")")
    [ "$kind" = big ] && verify_times+=("$(timed wine "$cli" commit --verify "$(win "$source")" "$(win "$target")")")
  done
  floor_median=$(median_of "${floor_times[@]}")
  ours_median=$(median_of "${ours_times[@]}")
  ratio=$(printf '%.2f' "$(echo "$ours_median / $floor_median" | bc -l)")
  description=$([ "$kind" = small ] && echo "8,000 files of 2 KB" || echo "4 files of 128 MiB")
  printf '%-6s commit %8.3f s  floor %8.3f s  %s x\n' "$kind" "$ours_median" "$floor_median" "$ratio"
  rows+=("| \`quillmar-cli commit\`, $description into an empty folder | $(printf '%.3f' "$ours_median") s | $(printf '%.3f' "$floor_median") s | $ratio x one-at-a-time \`CopyFileW\` loop |")
  if [ "$kind" = big ]; then
    verify_median=$(median_of "${verify_times[@]}")
    ratio=$(printf '%.2f' "$(echo "$verify_median / $floor_median" | bc -l)")
    printf '%-6s verify %8.3f s  floor %8.3f s  %s x\n' "$kind" "$verify_median" "$floor_median" "$ratio"
    rows+=("| \`quillmar-cli commit --verify\`, $description into an empty folder | $(printf '%.3f' "$verify_median") s | $(printf '%.3f' "$floor_median") s | $ratio x one-at-a-time \`CopyFileW\` loop |")
  fi
  rm -rf "$target"
done
stamp="$(date -u +%F), $(git -C "$root" rev-parse --short HEAD), median of $runs in turns, \`$command_line\`"
python3 "$here/write_results.py" "$here/RESULTS.md" copy "Copies" "$stamp" "${rows[@]}"
