#!/usr/bin/env bash
# Benchmarks of the location model, each against the bare work the platform needs
# for the same result, measured side by side in one process (medians):
#   listing  ListDirectory of a folder of 20,000 and of 100,000 files against a bare
#            FindFirstFileExW loop, and against that loop writing the entries into a
#            list of their exact size; ListVisibleChildren of a node with as many children
#            against a walk that writes the same records into a list made for them;
#            SortListing of 20,000 and 100,000 names against std::sort of the names
#   memory   committed bytes per node of the two scanned trees of the deep corpus
#   together bare walks of the two sides of the wide and the deep corpus in two threads
#            at once, against the same walks one after the other: the most that an
#            analysis with --simultaneous can gain in one process
#   huge     the time-mode analysis of a generated pair of ENTRIES zero-length files a
#            side: the worker in the bench program with its peak committed memory, then
#            `quillmar-cli analyze` with its peak resident memory
# Prints the figures and writes them into bench/RESULTS.md between the model markers.
#
# usage: bench/model_bench.sh [-n RUNS] [-o CORPUS_DIR] [-k KINDS] [-H ENTRIES]
#   -n RUNS     runs per measurement (default 9)
#   -k KINDS    comma list of listing,memory,together,huge (default listing,memory,together)
#   -H ENTRIES  files a side of the huge pair (default 2500000)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
shared=${QUILLMAR_SHARED:-$root/../shared}
runs=9 corpus=${TMPDIR:-/tmp}/quillmar-corpus kinds=listing,memory,together entries=2500000
command_line="bash bench/model_bench.sh $*"
while getopts "n:o:k:H:h" opt; do
  case $opt in
    n) runs=$OPTARG ;; o) corpus=$OPTARG ;; k) kinds=$OPTARG ;; H) entries=$OPTARG ;;
    h) sed -n '2,20p' "$0"; exit 0 ;;
    *) exit 2 ;;
  esac
done

source "$root/scripts/common.sh"
prepare >/dev/null
cli=$BUILD_DIR/bin/quillmar-cli.exe
bench=$BUILD_DIR/bench/listing_bench.exe
libraries=("$BUILD_DIR/analysis/libquillmar_analysis.a" "$BUILD_DIR/model/libquillmar_model.a")
mkdir -p "$(dirname "$bench")"
if [ ! -f "$bench" ] || [ "$here/listing_bench.cpp" -nt "$bench" ] || [ "${libraries[0]}" -nt "$bench" ] ||
   [ "${libraries[1]}" -nt "$bench" ]; then
  i686-w64-mingw32-g++-posix -std=c++20 -O2 -msse2 -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601 -DNOMINMAX \
    -I"$root" -static -o "$bench" "$here/listing_bench.cpp" "${libraries[@]}" -lntdll -lbcrypt
fi
# One server for the run, gone ten seconds after its last program (a lasting one keeps
# scripts/test.sh waiting).
wineserver -p10 >/dev/null 2>&1 </dev/null || true

# make_files DIR COUNT [SKIP]: DIR holds COUNT zero-length files with plausible names,
# every SKIP-th left out (0: none); folders of 1,000 files when COUNT is above 100,000.
make_files() {
  python3 - "$@" <<'PY'
import os, random, shutil, sys
top, count = sys.argv[1], int(sys.argv[2])
skip = int(sys.argv[3]) if len(sys.argv) > 3 else 0
stamp = os.path.join(top, ".made")
if os.path.exists(stamp):
    if open(stamp).read() == f"{count} {skip} 2\n":
        sys.exit(0)
    shutil.rmtree(top)  # made by an older version or with other parameters
r = random.Random(count)
words = "alpha beta report draft photo img notes data src lib test build doc misc".split()
per_folder = count if count <= 100000 else 1000
for i in range(count):
    folder = top if per_folder == count else os.path.join(top, f"d{i // per_folder // 50:03d}", f"s{i // per_folder % 50:02d}")
    if i % per_folder == 0:
        os.makedirs(folder, exist_ok=True)
    if r.random() < 0.6:
        name = f"{r.choice(words)}{r.choice('_- ')}{i}"
    else:
        name = "".join(r.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(r.randint(3, 10))) + str(i)
    name += r.choice([".txt", ".jpg", ".dat", ""])
    # Both sides draw the same names; one side leaves some out.
    if not (skip and i % skip == 0):
        os.close(os.open(os.path.join(folder, name), os.O_CREAT | os.O_WRONLY, 0o644))
open(stamp, "w").write(f"{count} {skip} 2\n")
PY
}

# value KEY LINE: the value of KEY in a line of key=value pairs.
value() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"${2//$'\r'/}"; }

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 |"); printf '%-58s %12s %12s %s\n' "$1" "$2" "$3" "$4"; }

IFS=, read -ra kind_list <<<"$kinds"
for kind in "${kind_list[@]}"; do
  case $kind in
    listing)
      for count in 20000 100000; do
        folder=$corpus/flat-$count
        make_files "$folder" "$count"
        line=$(wine "$bench" listing "$folder" "$runs")
        row "\`ListDirectory\`, $count files" "$(value list_directory_seconds "$line") s" \
            "$(value list_directory_floor_seconds "$line") s" "$(value list_directory_ratio "$line") x bare FindFirstFileExW loop"
        row "\`ListDirectory\`, $count files, against storing" "$(value list_directory_storing_seconds "$line") s" \
            "$(value list_directory_storing_floor_seconds "$line") s" \
            "$(value list_directory_storing_ratio "$line") x the loop writing into an exactly sized list"
        line=$(wine "$bench" children "$count" "$runs")
        row "\`ListVisibleChildren\`, $count children" "$(value list_children_seconds "$line") s" \
            "$(value list_children_floor_seconds "$line") s" "$(value list_children_ratio "$line") x bare walk writing the records"
        line=$(wine "$bench" sort "$count" "$runs")
        row "\`SortListing\`, $count entries" "$(value sort_seconds "$line") s" \
            "$(value std_sort_names_seconds "$line") s" "$(value sort_ratio "$line") x std::sort of the names"
      done ;;
    memory)
      bash "$shared/bench/make-corpus.sh" -k deep -o "$corpus" >&2
      line=$(wine "$bench" memory "$corpus/deep/left" "$corpus/deep/right")
      row "tree memory, deep corpus ($(value nodes "$line") nodes)" "$(value tree_committed_bytes_per_node "$line") B/node" "" \
          "committed by the trees; $(value scan_committed_bytes_per_node "$line") B/node with the scan's freed buffers"
      ;;
    together)
      for pair in wide deep; do
        bash "$shared/bench/make-corpus.sh" -k "$pair" -o "$corpus" >&2
        pair_runs=$runs
        [ "$pair" = wide ] || pair_runs=$(( runs < 3 ? runs : 3 ))  # a deep walk takes seconds
        line=$(wine "$bench" together "$corpus/$pair/left" "$corpus/$pair/right" "$pair_runs")
        row "bare walks of both sides in two threads at once, $pair corpus" "$(value together_seconds "$line") s" \
            "$(value together_floor_seconds "$line") s" "$(value together_ratio "$line") x the same walks one after the other"
      done ;;
    huge)
      make_files "$corpus/huge-$entries/left" "$entries" 0
      make_files "$corpus/huge-$entries/right" "$entries" 97
      left="Z:${corpus//\//\\}\\huge-$entries\\left" right="Z:${corpus//\//\\}\\huge-$entries\\right"
      # The worker alone, in this process, with the committed memory sampled as it runs.
      line=$(wine "$bench" analyze "$corpus/huge-$entries/left" "$corpus/huge-$entries/right")
      row "analysis worker, $entries zero-length files a side ($(value nodes "$line") nodes)" \
          "$(value analysis_seconds "$line") s" "" \
          "peak committed $(value peak_committed_mib "$line") MiB, trees $(value held_bytes_per_node "$line") B/node"
      # The companion program as a person runs it, report included.
      report=$BUILD_DIR/bench/huge-time.txt
      # Status 1 only says that the two sides differ; time then notes the status before its figures.
      status=0
      /usr/bin/time -f '%e %M' -o "$report" wine "$cli" analyze "$left" "$right" >/dev/null 2>"$BUILD_DIR/bench/last-error.txt" || status=$?
      if [ "$status" -le 1 ]; then
        read -r seconds kilobytes < <(tail -n 1 "$report")
        row "\`quillmar-cli analyze\`, $entries zero-length files a side" "$seconds s" "" \
            "peak resident $((kilobytes / 1024)) MiB (whole Wine process)"
      else
        row "\`quillmar-cli analyze\`, $entries zero-length files a side" "failed" "" \
            "$(grep -v '^quillmar-cli: identical' "$BUILD_DIR/bench/last-error.txt" | head -2 | tr '\n' ' ')"
      fi
      ;;
    *) echo "unknown kind $kind" >&2; exit 2 ;;
  esac
done

# The figures replace rows of the same measurement in the model block of RESULTS.md.
stamp="$(date -u +%F), $(git -C "$root" rev-parse --short HEAD), median of $runs, \`$command_line\`"
python3 "$here/write_results.py" "$here/RESULTS.md" model "Location model" "$stamp" "${rows[@]}"
