#!/usr/bin/env bash
# Builds the zip a user downloads (both programs, the user guide, the licence, the
# third-party notices) and says where it is. The package target also builds the
# two programs it holds.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_prerequisites
build_project quillmar_package
zip=$(cat "$BUILD_DIR/package/zip-path.txt")
log "package: $zip"
echo "$zip"
