#!/usr/bin/env bash
# The main job: builds what is missing and starts the viewer on the full
# simulated camera. Without a display it writes a screenshot instead and
# prints its path. Arguments go to the viewer (see --help).
set -euo pipefail
cd "$(dirname "$0")"
. tools/common.sh

ensure_packages
build_tree build
viewer=build/bin/camera-viewer
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$viewer" "$@"
fi
# Options that print and exit need no window.
for arg in "$@"; do
    case $arg in
    --list | --check | --help | -h | --help-all | --screenshot*) exec "$viewer" "$@" ;;
    esac
done
echo "No display: writing a screenshot instead of opening the window."
"$viewer" --screenshot build/screenshot.png "$@"
