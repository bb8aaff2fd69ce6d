#!/usr/bin/env bash
# Builds the two programs (not the tests) and starts the window program. Without a
# display it runs on a virtual one, saves a screenshot and says where.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
if [ -n "${DISPLAY:-}" ]; then
  install_prerequisites
else
  install_prerequisites import:imagemagick
fi
make_wine_prefix
build_project quillmar quillmar-cli

program=$BUILD_DIR/bin/quillmar.exe
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$program"
fi

shots=$QUILLMAR_ROOT/screenshots
mkdir -p "$shots"
shot=$shots/quillmar.png
display=:$(( 90 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
wine "$program" &
app=$!
sleep "${QUILLMAR_SHOT_DELAY:-6}"
import -window root "$shot"
log "no display: the program ran on a virtual display; screenshot saved to $shot"
kill $app 2>/dev/null || true
wineserver -k 2>/dev/null || true
