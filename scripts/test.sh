#!/usr/bin/env bash
# Builds everything (programs, tests, package) and runs every test through Wine on
# a virtual display.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prepare

# Drive letters of the tests' own, in the project's prefix for the run only: an
# empty volume root, a root that leads nowhere, and a root that is a folder of
# another drive, as a substituted drive's is (linked relatively, as C: is). Made
# before Wine starts, so that its mount manager knows them.
test_drives=$BUILD_DIR/test-drives
rm -rf "$test_drives"
mkdir -p "$test_drives/empty" "$test_drives/aliased/sub/x" "$test_drives/aliased/sibling"
ln -sfn "$test_drives/empty" "$WINEPREFIX/dosdevices/q:"
ln -sfn "$test_drives/gone" "$WINEPREFIX/dosdevices/r:"
ln -sfnr "$test_drives/aliased/sub" "$WINEPREFIX/dosdevices/s:"
export QUILLMAR_TEST_EMPTY_DRIVE='Q:'
export QUILLMAR_TEST_UNREACHABLE_DRIVE='R:'
export QUILLMAR_TEST_ALIAS_DRIVE='S:'
# A drive on another file system than the build's (a tmpfs), where a rename
# from the test folders cannot go and a move must copy.
other_fs=/dev/shm/quillmar-test-drive-$$
if [ -d /dev/shm ] && mkdir -p "$other_fs" 2>/dev/null &&
   [ "$(stat -f -c %T "$other_fs")" != "$(stat -f -c %T "$BUILD_DIR")" ]; then
  ln -sfn "$other_fs" "$WINEPREFIX/dosdevices/t:"
  export QUILLMAR_TEST_OTHER_FS_DRIVE='T:'
fi
QUILLMAR_TEST_ALIASED_FOLDER="Z:$(cd "$test_drives/aliased" && pwd | tr / '\\')"
export QUILLMAR_TEST_ALIASED_FOLDER
# R: is an optical drive without a medium, so it is listed although its root leads nowhere.
wine reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >/dev/null 2>&1 </dev/null && wineserver -w

remove_test_drives() {
  wine reg delete 'HKLM\Software\Wine\Drives' /v r: /f >/dev/null 2>&1 </dev/null || true
  wineserver -k 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/q:" "$WINEPREFIX/dosdevices/r:" "$WINEPREFIX/dosdevices/s:" "$WINEPREFIX/dosdevices/t:"
  rm -rf "$other_fs"
}
# One wineserver for the whole run, so that each test program starts quickly.
wineserver -p >/dev/null 2>&1 </dev/null || true
trap remove_test_drives EXIT
cd "$BUILD_DIR"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wine ./bin/wine_warm_up.exe >/dev/null 2>&1 </dev/null
  exec ctest --output-on-failure "$@"' ctest "$@"
