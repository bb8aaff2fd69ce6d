#!/usr/bin/env bash
# install_prerequisites (scripts/common.sh) on Debian machines made of stand-ins:
# dpkg, dpkg-query, apt-get and id are small scripts keeping their state in a
# temporary folder, and apt-get "installs" a package by putting the commands it
# provides there. Nothing real is installed or asked for.
#   fresh_machine_test.sh [SOURCE_DIR]
set -uo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
failures=0

all_amd64='cmake make gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386 xvfb xauth googletest'
all_i386=${all_amd64/wine32:i386/wine32}
some=${all_amd64/wine32:i386}
# machine | architecture | installed beforehand (-PACKAGE: removed, its configuration files kept)
#   | what the one apt-get install must install (nothing: no apt-get at all) | i386 added before it
rows=(
  "fresh                | amd64 |                         | $all_amd64  | yes"
  "fresh                | i386  |                         | $all_i386   | no"
  "all there            | amd64 | $all_amd64              |             | no"
  "Wine without wine32  | amd64 | $some                   | wine32:i386 | yes"
  "wine32 removed       | amd64 | $some -wine32:i386      | wine32:i386 | no"
)

# What each package puts on the machine: its commands (googletest: its sources).
provides() {
  case $1 in
    cmake|make|xauth) echo "$1" ;;
    gcc-mingw-w64-i686-posix) echo i686-w64-mingw32-gcc-posix ;;
    g++-mingw-w64-i686-posix) echo i686-w64-mingw32-g++-posix ;;
    binutils-mingw-w64-i686) echo i686-w64-mingw32-windres i686-w64-mingw32-objdump ;;
    wine) echo wine wineserver ;;
    xvfb) echo xvfb-run Xvfb ;;
    wine32|googletest) ;;
    *) return 1 ;;
  esac
}

make_machine() {  # DIR ARCH: the stand-ins, and the few real commands common.sh uses
  local dir=$1 header tool
  mkdir -p "$dir/bin" "$dir/gtest" "$dir/state"
  : >"$dir/state/installed"; : >"$dir/state/removed"
  for tool in dirname grep env; do ln -s "$(command -v "$tool")" "$dir/bin/$tool"; done
  header=$(printf '#!%q\narch=%q bin=%q state=%q gtest=%q chmod=%q\n' \
    "$BASH" "$2" "$dir/bin" "$dir/state" "$dir/gtest" "$(command -v chmod)"; declare -f provides)
  stub() { printf '%s\n%s\n' "$header" "$2" >"$dir/bin/$1"; chmod +x "$dir/bin/$1"; }
  stub id 'echo 0'
  stub dpkg 'echo "dpkg $*" >>"$state/calls"
case $1 in
  --print-architecture) echo "$arch" ;;
  --print-foreign-architectures) [ ! -f "$state/foreign" ] || echo "$(<"$state/foreign")" ;;
  --add-architecture) echo "$2" >>"$state/foreign" ;;
  *) exit 2 ;;
esac'
  stub dpkg-query 'package=${!#}
while read -r p; do [ "$p" != "$package" ] || { echo "install ok installed"; exit 0; }; done <"$state/installed"
while read -r p; do [ "$p" != "$package" ] || { echo "deinstall ok config-files"; exit 0; }; done <"$state/removed"
echo "dpkg-query: no packages found matching $package" >&2; exit 1'
  stub apt-get 'echo "apt-get $*" >>"$state/calls"
[ "$1" = install ] || exit 0
packages=()
for a in "${@:2}"; do case $a in -*) ;; *) packages+=("${a%:$arch}") ;; esac; done
for p in "${packages[@]}"; do
  provides "${p%:i386}" >/dev/null && case $p in
    wine32) [ "$arch" = i386 ] ;;
    *:i386) [ -f "$state/foreign" ] && [ "$(<"$state/foreign")" = i386 ] ;;
  esac || { echo "E: Unable to locate package $p" >&2; exit 100; }
done
for p in "${packages[@]}"; do
  echo "$p" >>"$state/installed"
  for c in $(provides "${p%:i386}"); do echo "#!/bin/sh" >"$bin/$c"; "$chmod" +x "$bin/$c"; done
  [ "$p" != googletest ] || : >"$gtest/CMakeLists.txt"
done'
}

fail() { printf 'FAILED [%s, %s]: %s\n' "$machine" "$arch" "$*"; failures=$((failures + 1)); }
words() { tr ' ' '\n' <<<"$*" | grep -v '^$' | LC_ALL=C sort; }

for row in "${rows[@]}"; do
  IFS='|' read -r machine arch before expected add_first <<<"$row"
  read -r machine <<<"$machine"; arch=${arch// } add_first=${add_first// }
  installed=$(words "$before" | grep -v '^-') removed=$(words "$before" | sed -n 's/^-//p')
  dir=$(mktemp -d)
  make_machine "$dir" "$arch"
  case $before in *:i386*) "$dir/bin/dpkg" --add-architecture i386 ;; esac
  [ -z "$installed" ] || PATH=$dir/bin "$dir/bin/apt-get" install $installed || fail "cannot preinstall"
  [ -z "$removed" ] || echo "$removed" >"$dir/state/removed"
  rm -f "$dir/state/calls"; touch "$dir/state/calls"

  env -i PATH="$dir/bin" QUILLMAR_WINEPREFIX="$dir/prefix" GTEST_SOURCE_DIR="$dir/gtest" \
    "$BASH" -c 'source "$1"; install_prerequisites' _ "$root/scripts/common.sh" >"$dir/out" 2>&1
  status=$?
  calls=$(<"$dir/state/calls")
  [ $status -eq 0 ] || fail "install_prerequisites ended with $status: $(<"$dir/out")"
  if [ -z "${expected// }" ]; then
    ! grep -q '^apt-get' <<<"$calls" || fail "apt-get ran with nothing missing: $calls"
  else
    installs=$(grep '^apt-get install' <<<"$calls")
    [ "$(grep -c . <<<"$installs")" -eq 1 ] || fail "not one apt-get install: $calls"
    got=$(words "$(sed 's/^apt-get install//; s/ -[^ ]*//g' <<<"$installs")")
    [ "$got" = "$(words "$expected")" ] || fail "installed:"$'\n'"$got"$'\n'"instead of:"$'\n'"$(words "$expected")"
  fi
  added=$(grep -n '^dpkg --add-architecture i386$' <<<"$calls" | cut -d: -f1)
  install_at=$(grep -n '^apt-get install' <<<"$calls" | head -1 | cut -d: -f1)
  if [ "$add_first" = yes ]; then
    [ -n "$added" ] && [ "$added" -lt "${install_at:-0}" ] || fail "i386 not added before the install: $calls"
  else
    [ -z "$added" ] || fail "i386 added for nothing: $calls"
  fi
  rm -rf "$dir"
done
[ $failures -eq 0 ] && echo "${#rows[@]} machines: each set up with at most one apt-get install" || exit 1
