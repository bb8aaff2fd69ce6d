#!/usr/bin/env bash
# Times quillmar-cli.exe against the tools a user would otherwise reach for, on the
# same folder pairs in the same run, and prints each figure as a ratio to the fastest
# tool and to the bare Win32 floor (the probe). On the wide and deep corpora it also
# times `quillmar-cli catalog` of the left side, against the probe's bare walk of that
# side, and with --content against that side's files read once, and read and digested
# by the system's SHA-256 (bench/read_floor.cpp: the probe has no mode that reads one side).
# The digest kind times `quillmar-cli catalog --content` of a folder of one 1 GiB file
# against `openssl dgst -sha256` of that file.
#
# usage: bench/run.sh [-x SCALE] [-n RUNS] [-k KINDS] [-o CORPUS_DIR] [-H ENTRIES]
#   -x SCALE  corpus scale for make-corpus.sh (default 1; 0.05 for a quick look)
#   -n RUNS   runs per command; the median is reported (default 5)
#   -k KINDS  comma list of wide,deep,big,early (the big corpus's left against copies that
#             differ 100 bytes in),digest (one file of 1 GiB times the scale), of the
#             location model's listing,memory,together,huge (bench/model_bench.sh) and of
#             the panes' flat,browse,pair,sync (bench/pane_bench.sh); default all but huge
#   -H ENTRIES  files a side of the huge pair (default 2500000)
set -euo pipefail
command_line="bash bench/run.sh $*"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
shared=${QUILLMAR_SHARED:-$root/../shared}
scale=1 runs=5 kinds=wide,deep,big,early,digest,listing,memory,together,flat,browse,pair,sync corpus=${TMPDIR:-/tmp}/quillmar-corpus entries=2500000
while getopts "x:n:k:o:H:h" opt; do
  case $opt in
    x) scale=$OPTARG ;; n) runs=$OPTARG ;; k) kinds=$OPTARG ;; o) corpus=$OPTARG ;; H) entries=$OPTARG ;;
    h) sed -n '2,18p' "$0"; exit 0 ;;
    *) exit 2 ;;
  esac
done

# The location model's own benchmarks run apart, after the corpus comparisons.
model_kinds=$(tr , '\n' <<<"$kinds" | grep -xE 'listing|memory|together|huge' | paste -sd, || true)
pane_kinds=$(tr , '\n' <<<"$kinds" | grep -xE 'flat|browse|pair|sync' | paste -sd, || true)
kinds=$(tr , '\n' <<<"$kinds" | grep -xE 'wide|deep|big|early|digest' | paste -sd, || true)

source "$root/scripts/common.sh"
prepare >/dev/null
for tool in rsync diff cmp find bc openssl; do
  command -v $tool >/dev/null || { as_root apt-get install -y -qq rsync diffutils findutils bc openssl >/dev/null; break; }
done

cli=$BUILD_DIR/bin/quillmar-cli.exe
[ -x "$cli" ] || [ -f "$cli" ] || { echo "no $cli: build it first" >&2; exit 1; }
probe=$BUILD_DIR/bench/probe.exe
mkdir -p "$(dirname "$probe")"
if [ ! -f "$probe" ] || [ "$shared/bench/probe.cpp" -nt "$probe" ]; then
  i686-w64-mingw32-g++-posix -O2 -static -municode -o "$probe" "$shared/bench/probe.cpp"
fi
read_floor=$BUILD_DIR/bench/read_floor.exe
if [ ! -f "$read_floor" ] || [ "$here/read_floor.cpp" -nt "$read_floor" ]; then
  i686-w64-mingw32-g++-posix -O2 -static -municode -o "$read_floor" "$here/read_floor.cpp" -lbcrypt
fi

corpus_kinds=$(tr , '\n' <<<"$kinds" | sed 's/^early$/big/' | grep -vx digest | sort -u | paste -sd, || true)
[ -z "$corpus_kinds" ] || bash "$shared/bench/make-corpus.sh" -x "$scale" -k "$corpus_kinds" -o "$corpus" >&2
# early: the big corpus's left files against copies with one byte changed 100 bytes in, as
# a re-encoded video or an edited disk image differs from its earlier version.
if grep -qx early <<<"${kinds//,/$'\n'}"; then
  early=$corpus/early
  if [ ! -f "$early/made" ] || [ "$corpus/big/manifest.tsv" -nt "$early/made" ]; then
    rm -rf "$early" && mkdir -p "$early/right"
    ln -s "$corpus/big/left" "$early/left"
    for f in "$corpus/big/left"/*; do
      cp -p "$f" "$early/right/"
      printf '\xAA' | dd of="$early/right/${f##*/}" bs=1 seek=100 conv=notrunc status=none
      touch -r "$f" "$early/right/${f##*/}"
    done
    touch "$early/made"
  fi
fi

# digest: one file of random bytes, alone in its folder.
if grep -qx digest <<<"${kinds//,/$'\n'}"; then
  digest_file=$corpus/digest/one/file.bin
  digest_bytes=$(printf '%.0f' "$(echo "1073741824 * $scale" | bc -l)")
  if [ "$(stat -c %s "$digest_file" 2>/dev/null || echo none)" != "$digest_bytes" ]; then
    mkdir -p "$corpus/digest/one"
    head -c "$digest_bytes" /dev/urandom >"$digest_file"
  fi
fi

# One server for the run, gone ten seconds after its last program (a lasting one keeps
# scripts/test.sh waiting).
wineserver -p10 >/dev/null 2>&1 </dev/null || true
wine "$probe" nop >/dev/null 2>&1 || true

# median_seconds CMD...: runs CMD $runs times (output discarded), prints the median wall time.
median_seconds() {
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

# seconds_once CMD...: the wall time of one run of CMD (output discarded).
seconds_once() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median_of() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# in_turns NAME FUNCTION [NAME FUNCTION]...: runs the functions one after another, $runs
# rounds, so that a drift of the machine weighs on all alike; t[NAME] gets each median.
in_turns() {
  local -A times=()
  local i j
  for _ in $(seq "$runs"); do
    for ((i = 1; i < $#; i += 2)); do
      j=$((i + 1))
      times[${!i}]+=" $(seconds_once "${!j}")"
    done
  done
  for ((i = 1; i < $#; i += 2)); do t[${!i}]=$(median_of ${times[${!i}]}); done
}

# What is timed on the pair in $left and $right (Windows forms in $left_win, $right_win):
# the bare walk, the analyses, and the content floors (open and close every pair; read
# every file of a pair once, in one plain read sized to fit it).
bare_walk() { wine "$probe" walk "$left" "$right"; }
time_mode() { wine "$cli" analyze "$left_win" "$right_win"; }
time_mode_simultaneous() { wine "$cli" analyze --simultaneous "$left_win" "$right_win"; }
content_mode() { wine "$cli" analyze --content "$left_win" "$right_win"; }
cmp_every_pair() { cmp_loop "$left" "$right"; }
open_every_pair() { wine "$probe" tree --engine sync --noread "$left" "$right"; }
read_every_pair() { wine "$probe" tree --engine sync --fit "$left" "$right"; }

# A catalog of the left side (into $catalog_win), its floors, and our own analysis of that
# side against an empty folder, which prints as many lines as the catalog holds.
catalog_of_times() { wine "$cli" catalog "$left_win" "$catalog_win"; }
catalog_of_content() { wine "$cli" catalog --content "$left_win" "$catalog_win"; }
bare_walk_of_one_side() { wine "$probe" walk "$left"; }
analysis_of_one_side() { wine "$cli" analyze "$left_win" "$empty_win"; }
read_of_one_side() { wine "$read_floor" "$left_win"; }
digest_of_one_side() { wine "$read_floor" --sha256 "$left_win"; }
catalog_of_one_file() { wine "$cli" catalog --content "$left_win" "$catalog_win"; }
openssl_of_one_file() { openssl dgst -sha256 "$digest_file"; }

cmp_loop() {  # cmp over every pair present on both sides
  local left=$1 right=$2
  (cd "$left" && find -L . -type f) | while read -r f; do
    [ -f "$right/$f" ] && cmp -s "$left/$f" "$right/$f"
  done
}

# must_complete KIND ARGUMENT...: runs quillmar-cli once and stops the benchmark when it
# ends in trouble (status 2), since a run that fails would time only its failure.
must_complete() {
  local kind=$1 status=0
  shift
  wine "$cli" "$@" >/dev/null 2>"$BUILD_DIR/bench/last-error.txt" || status=$?
  if [ "$status" -gt 1 ]; then
    echo "quillmar-cli $* failed on $kind:" >&2
    cat "$BUILD_DIR/bench/last-error.txt" >&2
    exit 1
  fi
}

report() {  # report KIND NAME SECONDS FASTEST FLOOR
  printf '%-6s %-34s %9.3f s  %6.2f x fastest  %s\n' "$1" "$2" "$3" "$(echo "$3 / $4" | bc -l)" "$5"
}

rows=()
ratio() { printf '%.2f x' "$(echo "$1 / $2" | bc -l)"; }
# record_rows KIND: the goals' figures of one corpus as rows of RESULTS.md.
record_rows() {
  local kind=$1 walk
  [ "$scale" = 1 ] || kind="$kind (x$scale)"
  for name in "${!t[@]}"; do t[$name]=$(printf '%.3f' "${t[$name]}"); done
  walk=${t[probe_walk]:-}
  if [ -n "${t[openssl_digest]:-}" ]; then
    rows+=("| \`quillmar-cli catalog --content\`, one 1 GiB file$([ "$scale" = 1 ] || echo " (x$scale)") | ${t[quillmar_digest]} s | ${t[openssl_digest]} s | $(ratio "${t[quillmar_digest]}" "${t[openssl_digest]}") \`openssl dgst -sha256\` of the file |")
    return
  fi
  if [ -n "${t[cmp_loop]:-}" ]; then
    # Twenty files a side: its walk is too short to time against.
    rows+=("| \`quillmar-cli analyze --content\`, $kind corpus | ${t[quillmar_content]} s | ${t[cmp_loop]} s | $(ratio "${t[quillmar_content]}" "${t[cmp_loop]}") \`cmp\` loop |")
  else
    rows+=("| \`quillmar-cli analyze\`, $kind corpus | ${t[quillmar]} s | ${walk} s | $(ratio "${t[quillmar]}" "$walk") bare walk |")
    rows+=("| \`quillmar-cli analyze --simultaneous\`, $kind corpus | ${t[quillmar_sim]} s | ${walk} s | $(ratio "${t[quillmar_sim]}" "$walk") bare sequential walk |")
    rows+=("| \`quillmar-cli analyze --content\`, $kind corpus | ${t[quillmar_content]} s | ${t[probe_open]} s | $(ratio "${t[quillmar_content]}" "${t[probe_open]}") open/close floor |")
    rows+=("| \`quillmar-cli analyze --content\`, $kind corpus, against reading | ${t[quillmar_content]} s | ${t[probe_read]} s | $(ratio "${t[quillmar_content]}" "${t[probe_read]}") bare read of every pair |")
  fi
  if [ -n "${t[quillmar_catalog]:-}" ]; then
    rows+=("| \`quillmar-cli catalog\`, $kind corpus | ${t[quillmar_catalog]} s | ${t[probe_walk_one]} s | $(ratio "${t[quillmar_catalog]}" "${t[probe_walk_one]}") bare walk of one side |")
    rows+=("| \`quillmar-cli catalog --content\`, $kind corpus | ${t[quillmar_catalog_content]} s | ${t[floor_digest_one]} s | $(ratio "${t[quillmar_catalog_content]}" "${t[floor_digest_one]}") bare read and SHA-256 of every file of one side |")
    rows+=("| \`quillmar-cli catalog --content\`, $kind corpus, against reading | ${t[quillmar_catalog_content]} s | ${t[floor_read_one]} s | $(ratio "${t[quillmar_catalog_content]}" "${t[floor_read_one]}") bare read of every file of one side |")
  fi
}

# against_one_tool KIND TITLE OURS OURS_FUNCTION TOOL TOOL_FUNCTION TOOL_LABEL: ours against
# one other tool, in turns, printed and recorded.
against_one_tool() {
  local kind=$1 title=$2 ours=$3 tool=$5
  in_turns "$ours" "$4" "$tool" "$6"
  echo "== $kind$title (median of $runs runs, in turns)"
  report "$kind" "$ours" "${t[$ours]}" "${t[$tool]}" \
    "$(printf '%.2f x %s' "$(echo "${t[$ours]} / ${t[$tool]}" | bc -l)" "$7")"
  report "$kind" "$tool" "${t[$tool]}" "${t[$tool]}" ""
  record_rows "$kind"
}

# time_catalogs KIND: the catalogs of the left side against their floors, in turns.
time_catalogs() {
  local kind=$1 mode status
  catalog_win="Z:${corpus//\//\\}\\$kind.catalog" empty_win="Z:${corpus//\//\\}\\empty"
  mkdir -p "$corpus/empty"
  # Status 1 says that some entries are unknown.
  for mode in "" --content; do must_complete "$kind" catalog $mode "$left_win" "$catalog_win"; done
  in_turns quillmar_catalog catalog_of_times probe_walk_one bare_walk_of_one_side quillmar_one_side analysis_of_one_side
  in_turns quillmar_catalog_content catalog_of_content floor_read_one read_of_one_side floor_digest_one digest_of_one_side
  echo "== $kind, catalogs of the left side (median of $runs runs, in turns)"
  report "$kind" quillmar_catalog "${t[quillmar_catalog]}" "${t[probe_walk_one]}" \
    "$(printf '%.2f x bare walk of one side, %.2f x analysis of one side' \
      "$(echo "${t[quillmar_catalog]} / ${t[probe_walk_one]}" | bc -l)" \
      "$(echo "${t[quillmar_catalog]} / ${t[quillmar_one_side]}" | bc -l)")"
  report "$kind" quillmar_catalog_content "${t[quillmar_catalog_content]}" "${t[probe_walk_one]}" \
    "$(printf '%.2f x read and SHA-256 floor, %.2f x read floor' \
      "$(echo "${t[quillmar_catalog_content]} / ${t[floor_digest_one]}" | bc -l)" \
      "$(echo "${t[quillmar_catalog_content]} / ${t[floor_read_one]}" | bc -l)")"
  for name in probe_walk_one quillmar_one_side floor_read_one floor_digest_one; do
    report "$kind" "$name" "${t[$name]}" "${t[probe_walk_one]}" ""
  done
}

IFS=, read -ra kind_list <<<"$kinds"
for kind in ${kind_list[@]+"${kind_list[@]}"}; do
  left=$corpus/$kind/left right=$corpus/$kind/right
  left_win="Z:${left//\//\\}" right_win="Z:${right//\//\\}"
  declare -A t=()
  if [ "$kind" = digest ]; then
    left=$corpus/digest/one left_win="Z:${left//\//\\}" catalog_win="Z:${corpus//\//\\}\\digest.catalog"
    must_complete "$kind" catalog --content "$left_win" "$catalog_win"
    against_one_tool "$kind" ", one file of $digest_bytes bytes" quillmar_digest catalog_of_one_file \
      openssl_digest openssl_of_one_file "openssl dgst -sha256"
    unset t
    continue
  fi
  if [ "$kind" = early ]; then
    # Twenty pairs that differ at once: only the content comparison against cmp tells anything.
    against_one_tool "$kind" "" quillmar_content content_mode cmp_loop cmp_every_pair "cmp loop"
    unset t
    continue
  fi
  t[find]=$(median_seconds find "$left" "$right")
  t[rsync]=$(median_seconds rsync -rn --delete -i "$left/" "$right/")
  t[diff]=$(median_seconds diff -rq "$left" "$right")
  in_turns probe_walk bare_walk quillmar time_mode quillmar_sim time_mode_simultaneous
  # Status 1 only says that the folders differ.
  for mode in "" --content; do must_complete "$kind" analyze $mode "$left_win" "$right_win"; done
  # The full listing of every item of both sides, against the default one of the differences.
  t[quillmar_all]=$(median_seconds wine "$cli" analyze --all "$left_win" "$right_win")
  if [ "$kind" = big ]; then
    in_turns quillmar_content content_mode cmp_loop cmp_every_pair probe_open open_every_pair probe_read read_every_pair
  else
    in_turns quillmar_content content_mode probe_open open_every_pair probe_read read_every_pair
  fi
  fastest=$(printf '%s\n' "${t[@]}" | sort -g | head -1)
  echo "== $kind (median of $runs runs)"
  for name in find rsync diff cmp_loop probe_walk probe_open probe_read quillmar quillmar_sim quillmar_all quillmar_content; do
    [ -n "${t[$name]:-}" ] || continue
    floor=""
    case $name in
      quillmar) floor=$(printf '%.2f x bare walk' "$(echo "${t[quillmar]} / ${t[probe_walk]}" | bc -l)") ;;
      quillmar_sim) floor=$(printf '%.2f x bare walk' "$(echo "${t[quillmar_sim]} / ${t[probe_walk]}" | bc -l)") ;;
      quillmar_all) floor=$(printf '%.2f x differences only' "$(echo "${t[quillmar_all]} / ${t[quillmar]}" | bc -l)") ;;
      quillmar_content)
        if [ -n "${t[probe_open]:-}" ]; then
          floor=$(printf '%.2f x open/close floor' "$(echo "${t[quillmar_content]} / ${t[probe_open]}" | bc -l)")
          floor="$floor $(printf '%.2f x read floor' "$(echo "${t[quillmar_content]} / ${t[probe_read]}" | bc -l)")"
        fi
        if [ -n "${t[cmp_loop]:-}" ]; then
          floor="$floor $(printf '%.2f x cmp loop' "$(echo "${t[quillmar_content]} / ${t[cmp_loop]}" | bc -l)")"
        fi ;;
    esac
    report "$kind" "$name" "${t[$name]}" "$fastest" "$floor"
  done
  [ "$kind" = big ] || time_catalogs "$kind"
  record_rows "$kind"
  unset t
done
if [ ${#rows[@]} -gt 0 ]; then
  # The figures replace rows of the same measurement in the corpus block of RESULTS.md.
  stamp="$(date -u +%F), $(git -C "$root" rev-parse --short HEAD), median of $runs, \`$command_line\`"
  python3 "$here/write_results.py" "$here/RESULTS.md" corpus "Corpus comparisons" "$stamp" "${rows[@]}"
fi
if [ -n "$model_kinds" ]; then
  echo "== location model (median of $runs runs)"
  bash "$here/model_bench.sh" -n "$runs" -o "$corpus" -k "$model_kinds" -H "$entries"
fi
if [ -n "$pane_kinds" ]; then
  echo "== panes (median of $runs runs)"
  bash "$here/pane_bench.sh" -n "$runs" -o "$corpus" -k "$pane_kinds"
fi
