#!/usr/bin/env bash
# Remakes the README's screenshot, docs/main-window.png: two analysed folders with
# differences, on a virtual display. xdotool drives the window as a user would; its
# clicks are placed for the main window centred on a 1024x720 Wine desktop.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_prerequisites import:imagemagick xdotool:xdotool
make_wine_prefix
build_project quillmar

# Two copies of a small web site that have drifted apart, in the prefix's C: drive.
demo=$WINEPREFIX/drive_c
rm -rf "$demo/Site" "$demo/Site copy"
mkdir -p "$demo/Site/images" "$demo/Site/pages" "$demo/Site/drafts"
(cd "$demo/Site"
 for page in index.html about.html contact.html style.css; do echo "<p>$page</p>" >"$page"; done
 echo logo >images/logo.png; echo banner >images/banner.png
 echo news >pages/news.html; echo plan >drafts/plan.txt
 touch -d '2026-11-02 10:00' ./* images/* pages/* drafts/*)
cp -a "$demo/Site" "$demo/Site copy"
(cd "$demo/Site copy"
 rm -r drafts contact.html
 echo '<p>old</p>' >about.html; touch -d '2026-10-20 09:30' about.html
 echo robots >robots.txt; echo photo >images/photo.jpg)

display=:$(( 90 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1024x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=
finish() {
  [ -z "$app" ] || kill "$app" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$demo/Site" "$demo/Site copy"
}
trap finish EXIT
export DISPLAY=$display
sleep 1
wine explorer /desktop=Quillmar,1024x720 "$BUILD_DIR/bin/quillmar.exe" >/dev/null 2>&1 </dev/null &
app=$!
for _ in $(seq 60); do
  xdotool search --name '^Quillmar$' >/dev/null 2>&1 && break
  sleep 0.5
done
xdotool search --name '^Quillmar$' >/dev/null 2>&1 || { log "the window did not appear"; exit 1; }
sleep 2

# In each pane: the drive C:, opened, then the folder typed by name.
step() { xdotool "$@"; sleep 0.8; }
step mousemove 195 420 click 1
step key Home
step key Right
step type --delay 60 Site
step mousemove 575 420 click 1
step key Home
step key Right
step type --delay 60 Site
step key Down                       # "Site copy", just below "Site"
# Synchronizer > Analyze Differences, Start, and Close once it is done (the
# keyboard has no focus left in the dialog then: Start is disabled).
step key alt+s
step key a
step key Return
sleep 3
step mousemove 731 544 click 1
sleep 1
shot=$QUILLMAR_ROOT/docs/main-window.png
import -window root "$shot"
log "screenshot saved to $shot"
