# Shared by the entry points: checks for the commands the build and the tests need,
# installs what is missing where apt-get exists, makes the Wine prefix, builds.
# Sourced, not run.
set -euo pipefail

QUILLMAR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${QUILLMAR_BUILD_DIR:-$QUILLMAR_ROOT/build}
GTEST_SOURCE_DIR=${GTEST_SOURCE_DIR:-/usr/src/googletest}

log() { printf '[quillmar] %s\n' "$*" >&2; }

# The project's own Wine prefix, unless QUILLMAR_WINEPREFIX names another: the tests
# map drives of their own in it, which must not land in the prefix a user works in.
if [ -n "${WINEPREFIX:-}" ] && [ -z "${QUILLMAR_WINEPREFIX:-}" ]; then
  log "WINEPREFIX is left alone: set QUILLMAR_WINEPREFIX to run in another prefix than .wineprefix/"
fi
export WINEPREFIX=${QUILLMAR_WINEPREFIX:-$QUILLMAR_ROOT/.wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# What is missing, as "what (Debian package)" and as the packages alone.
missing_things=()
missing_packages=()
note_missing() {
  missing_things+=("$1")
  case " ${missing_packages[*]} " in *" $2 "*) ;; *) missing_packages+=("$2") ;; esac
}
need_command() {
  command -v "$1" >/dev/null 2>&1 || note_missing "$1" "$2"
}
# Debian's wine runs 32-bit programs only with its i386 loader, from wine32. Decided
# from the package database and the machine's architecture, not from wine's files, so
# that a machine without any Wine learns of it before the first install.
need_wine32() {
  if ! command -v dpkg-query >/dev/null 2>&1; then
    if [ -e /usr/lib/wine/wineapploader ] && [ ! -x /usr/lib/wine/wine ]; then
      note_missing "32-bit Wine (/usr/lib/wine/wine)" wine32
    fi
    return 0
  fi
  local package=wine32:i386
  [ "$(dpkg --print-architecture)" = i386 ] && package=wine32
  dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q ' installed$' ||
    note_missing "32-bit Wine ($package)" "$package"
}

# find_missing [COMMAND:PACKAGE...]: everything the build and the tests need, and the extras named.
find_missing() {
  missing_things=()
  missing_packages=()
  need_command cmake cmake
  need_command make make
  need_command i686-w64-mingw32-gcc-posix gcc-mingw-w64-i686-posix
  need_command i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
  need_command i686-w64-mingw32-windres binutils-mingw-w64-i686
  need_command i686-w64-mingw32-objdump binutils-mingw-w64-i686
  need_command wine wine
  need_command wineserver wine
  need_wine32
  need_command xvfb-run xvfb
  need_command Xvfb xvfb
  need_command xauth xauth
  [ -f "$GTEST_SOURCE_DIR/CMakeLists.txt" ] || note_missing "GoogleTest sources in $GTEST_SOURCE_DIR" googletest
  local extra
  for extra in "$@"; do
    need_command "${extra%%:*}" "${extra#*:}"
  done
}

# install_prerequisites [COMMAND:PACKAGE...]
install_prerequisites() {
  find_missing "$@"
  [ ${#missing_things[@]} -eq 0 ] && return 0
  if ! command -v apt-get >/dev/null 2>&1; then
    log "missing: ${missing_things[*]}"
    log "install them with this system's package manager (on Debian they come from: ${missing_packages[*]}), then run again"
    exit 1
  fi
  log "missing: ${missing_things[*]}; installing ${missing_packages[*]}"
  case " ${missing_packages[*]} " in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386 ;;
  esac
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing_packages[@]}" >/dev/null </dev/null
  find_missing "$@"
  if [ ${#missing_things[@]} -ne 0 ]; then
    log "still missing after installing: ${missing_things[*]}"
    exit 1
  fi
}

make_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "making the Wine prefix in $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
  fi
  [ -f "$WINEPREFIX/system.reg" ] || { log "Wine prefix could not be made in $WINEPREFIX"; exit 1; }
}

# build_project [TARGET...]: configures and builds the targets named, or everything.
build_project() {
  cmake -S "$QUILLMAR_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$QUILLMAR_ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DGTEST_SOURCE_DIR="$GTEST_SOURCE_DIR" >/dev/null
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  cmake --build "$BUILD_DIR" -j "$(nproc)" ${targets[@]+"${targets[@]}"}
}

# prepare [TARGET...]: set-up, prefix and build of the targets named, or of everything.
prepare() {
  install_prerequisites
  make_wine_prefix
  build_project "$@"
}
