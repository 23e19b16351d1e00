#!/usr/bin/env bash
# The main job. The viewer does not exist yet: this builds everything.
set -euo pipefail
cd "$(dirname "$0")"
. tools/common.sh

ensure_packages
build_tree build
echo "Built everything in build/. The viewer that hosts the plug-in is not written yet."
