#!/usr/bin/env bash
# The main job: builds what the viewer needs and starts it on the full
# simulated camera. Without a display it writes a screenshot instead and
# prints its path. Arguments go to the viewer (see --help); paths in them
# mean what they mean where the command was given.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")"
repo=$PWD
. tools/common.sh

ensure_packages
# The viewer, the plug-in and its translations; the tests wait for ./test.sh.
target="camera-viewer tabextensionadvtrigger translations" build_tree build
viewer=$repo/build/bin/camera-viewer
cd "$caller"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$viewer" "$@"
fi
# Options that print and exit need no window.
for arg in "$@"; do
    case $arg in
    --list | --check | --check-presets* | --help | -h | --help-all | --version | -v | --screenshot*) exec "$viewer" "$@" ;;
    esac
done
echo "No display: writing a screenshot instead of opening the window."
# On its own, the simulated camera acquiring: the picture shows a frame.
[ $# -eq 0 ] && set -- --acquire
"$viewer" --screenshot "$repo/build/screenshot.png" "$@"
