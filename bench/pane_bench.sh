#!/usr/bin/env bash
# Benchmarks of the main window's panes, the real dialog against a floor in the
# same process and run (bench/pane_bench.cpp), medians:
#   flat     a live and an analysed pane show a folder of 20,000 and of 100,000 files
#   browse   a live pane expands and shows a folder of 1,000 subfolders
#   pair     the analysed pair shown after the worker's end, on the deep corpus and on
#            two copies of the system's documentation folder
#   sync     the Synchronize dialog lists the 1,000 and the 100,000 New items of a folder analysed
#            against an empty one, from its opening until the list shows
# Prints the figures and writes them into bench/RESULTS.md between the pane markers.
#
# usage: bench/pane_bench.sh [-n RUNS] [-o CORPUS_DIR] [-k KINDS]
#   -k KINDS  comma list of flat,browse,pair,sync (default all)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
shared=${QUILLMAR_SHARED:-$root/../shared}
runs=5 corpus=${TMPDIR:-/tmp}/quillmar-corpus kinds=flat,browse,pair,sync
command_line="bash bench/pane_bench.sh $*"
while getopts "n:o:k:h" opt; do
  case $opt in
    n) runs=$OPTARG ;; o) corpus=$OPTARG ;; k) kinds=$OPTARG ;;
    h) sed -n '2,13p' "$0"; exit 0 ;;
    *) exit 2 ;;
  esac
done

source "$root/scripts/common.sh"
prepare >/dev/null
bench=$BUILD_DIR/bench/pane_bench.exe
archives=()
for library in app/quillmar_app analysis/ui/quillmar_analysis_ui sync/ui/quillmar_sync_ui dialogs/quillmar_dialogs \
               framework/quillmar_framework sync/quillmar_sync analysis/quillmar_analysis model/quillmar_model; do
  archives+=("$BUILD_DIR/${library%/*}/lib${library##*/}.a")
done
resources=$BUILD_DIR/app/CMakeFiles/quillmar.dir/__/res/quillmar.rc.res
mkdir -p "$(dirname "$bench")"
stale=0
for input in "$here/pane_bench.cpp" "$resources" "${archives[@]}"; do [ "$input" -nt "$bench" ] && stale=1; done
if [ ! -f "$bench" ] || [ $stale = 1 ]; then
  i686-w64-mingw32-g++-posix -std=c++20 -O2 -msse2 -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601 -DNOMINMAX \
    -I"$root" -static -o "$bench" "$here/pane_bench.cpp" "$resources" -Wl,--start-group "${archives[@]}" \
    -Wl,--end-group -lcomctl32 -lshell32 -lgdi32 -luser32 -lole32 -luuid -lshlwapi -lntdll -lbcrypt
fi
wineserver -p10 >/dev/null 2>&1 </dev/null || true

# make_tree DIR COUNT SUBFOLDERS: COUNT zero-length files and SUBFOLDERS folders,
# every third folder holding a folder and every folder a file.
make_tree() {
  python3 - "$@" <<'PY'
import os, sys
top, count, subfolders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
stamp = os.path.join(top, ".made")
if os.path.exists(stamp) and open(stamp).read() == f"{count} {subfolders}\n":
    sys.exit(0)
os.makedirs(top, exist_ok=True)
for i in range(count):
    os.close(os.open(os.path.join(top, f"file {i:06d}.txt"), os.O_CREAT | os.O_WRONLY, 0o644))
for i in range(subfolders):
    folder = os.path.join(top, f"folder {i:04d}")
    os.makedirs(os.path.join(folder, "inner") if i % 3 == 0 else folder, exist_ok=True)
    open(os.path.join(folder, "readme.txt"), "w").close()
open(stamp, "w").write(f"{count} {subfolders}\n")
PY
}

value() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"${2//$'\r'/}"; }
rows=()
row() { rows+=("| $1 | $2 | $3 | $4 |"); printf '%-58s %12s %12s %s\n' "$1" "$2" "$3" "$4"; }
run_bench() { xvfb-run -a -s "-screen 0 1280x1024x24" wine "$bench" "$@" 2>/dev/null | tr -d '\r'; }
ratio_row() {  # ratio_row LABEL KEY LINE FLOOR_TEXT
  row "$1" "$(value "$2_seconds" "$3") s" "$(value "$2_floor_seconds" "$3") s" "$(value "$2_ratio" "$3") x $4"
}

IFS=, read -ra kind_list <<<"$kinds"
for kind in "${kind_list[@]}"; do
  case $kind in
    flat)
      for count in 20000 100000; do
        folder=$corpus/panes/flat-$count
        make_tree "$folder" "$count" 0
        line=$(run_bench live "$folder" "$runs")
        ratio_row "live pane shows a folder of $count files" live_pane "$line" "listing into a report list"
        line=$(run_bench analysed "$folder" "$runs")
        ratio_row "analysed pane shows a folder of $count files" analysed_pane "$line" "listing into a report list"
      done ;;
    browse)
      folder=$corpus/panes/folders-1000
      make_tree "$folder" 0 1000
      line=$(run_bench browse "$folder" "$runs")
      ratio_row "live pane expands and shows 1000 subfolders" browse_pane "$line" "listing, probes, tree and list rows"
      ;;
    pair)
      bash "$shared/bench/make-corpus.sh" -k deep -o "$corpus" >&2
      docs=$corpus/panes/docs
      if [ ! -d "$docs/right" ]; then
        mkdir -p "$docs/left"
        cp -r --no-preserve=mode /usr/share/doc/. "$docs/left/" 2>/dev/null || true
        find "$docs/left" -type l -delete
        cp -r "$docs/left" "$docs/right"
      fi
      for pair in "deep corpus:$corpus/deep" "documentation folder:$docs"; do
        label=${pair%%:*} dir=${pair#*:}
        line=$(run_bench pair "$dir/left" "$dir/right" "$runs")
        row "analysed pair shown after the worker, $label" "$(value analysed_pair_seconds "$line") s" \
            "$(value analysed_pair_floor_seconds "$line") s" \
            "$(value analysed_pair_excess_seconds "$line") s beyond filling both roots (worker $(value worker_seconds "$line") s)"
      done ;;
    sync)
      mkdir -p "$corpus/panes/empty"
      for count in 1000 100000; do
        folder=$corpus/panes/flat-$count
        make_tree "$folder" "$count" 0
        line=$(run_bench sync "$folder" "$corpus/panes/empty" "$runs")
        ratio_row "Synchronize dialog lists $count items" sync_list "$line" "listing into a checked report list"
      done ;;
    *) echo "unknown kind $kind" >&2; exit 2 ;;
  esac
done

stamp="$(date -u +%F), $(git -C "$root" rev-parse --short HEAD), median of $runs, \`$command_line\`"
python3 "$here/write_results.py" "$here/RESULTS.md" pane "Panes" "$stamp" "${rows[@]}"
