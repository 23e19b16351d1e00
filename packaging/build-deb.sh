#!/usr/bin/env bash
# Builds the Debian package from the ordinary build tree (build/) and prints
# its path. Like run.sh, it first installs what a fresh Debian 12 machine
# lacks, and builds only what the package holds.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh

ensure_packages
ensure_packages "${package_packages[@]}"
target=installed_files build_tree build
cd build
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }
sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' cpack.log
