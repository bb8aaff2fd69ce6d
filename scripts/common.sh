# Shared by the entry points: installs what is missing, makes the Wine prefix, builds.
# Sourced, not run.
set -euo pipefail

QUILLMAR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${QUILLMAR_BUILD_DIR:-$QUILLMAR_ROOT/build}
export WINEPREFIX=${WINEPREFIX:-$QUILLMAR_ROOT/.wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}

log() { printf '[quillmar] %s\n' "$*" >&2; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

package_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

install_prerequisites() {
  local wanted=(cmake make g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
                wine wine32:i386 xvfb xauth googletest imagemagick x11-apps)
  local missing=()
  for package in "${wanted[@]}"; do
    package_installed "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

make_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "making the Wine prefix in $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  [ -f "$WINEPREFIX/system.reg" ] || { log "Wine prefix could not be made"; exit 1; }
}

build_project() {
  cmake -S "$QUILLMAR_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$QUILLMAR_ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD_DIR" -j "$(nproc)"
}

prepare() {
  install_prerequisites
  make_wine_prefix
  build_project
}
