#!/usr/bin/env bash
# Writes the README's pictures anew: the Trigger IO tab and its advanced
# dialog on the full simulated camera, in English and in German, drawn on
# Qt's offscreen platform (no display needed). Builds what the viewer needs
# first, like run.sh.
#
#   docs/screenshot.png      docs/screenshot-dialog.png      English
#   docs/screenshot-de.png   docs/screenshot-dialog-de.png   German
#   docs/screenshot-acquiring.png   the viewer acquiring: a hardware trigger
#                                   on Line0 with a delay, Line2 strobing
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
. tools/common.sh

ensure_packages
target="camera-viewer tabextensionadvtrigger translations" build_tree build

viewer=$repo/build/bin/camera-viewer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The dialog opens as it was last left; pictures start from nothing
# remembered, whatever the user's own settings.
mkdir "$work/config"

# shoot SUFFIX LANG [LANGUAGE]: the plug-in picks its translation from the
# system locale, which Qt reads from these variables (LC_ALL would win).
# The tab is shot on its own: while the dialog is open the tab steps aside.
shoot() {
    local suffix=$1 lang=$2 language=${3:-}
    local run=(env -u LC_ALL -u LC_MESSAGES QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config"
               LANG="$lang" LANGUAGE="$language" "$viewer")
    "${run[@]}" --screenshot "docs/screenshot$suffix.png" >/dev/null
    "${run[@]}" --screenshot "$work/shot.png" --dialog >/dev/null
    mv "$work/shot-dialog.png" "docs/screenshot-dialog$suffix.png"
    echo "docs/screenshot$suffix.png docs/screenshot-dialog$suffix.png"
}

shoot "" C.UTF-8
shoot -de de_DE.UTF-8 de

# The full camera set up as a user would wire it: frames triggered by Line0's
# rising edge (a 5 Hz input here) 20 ms late, Line2 strobing the exposure.
python3 - "$work/triggered.json" <<'PY'
import json, sys
camera = json.load(open("data/cameras/full.json"))
settings = {"TriggerMode": ("FrameStart", "On"), "TriggerSource": ("FrameStart", "Line0"),
            "TriggerDelay": ("FrameStart", 20000.0), "LineSource": ("Line2", "ExposureActive")}
for feature in camera["features"]:
    if feature["name"] in settings:
        entry, value = settings[feature["name"]]
        feature.setdefault("values", {})[entry] = value
camera["simulation"]["inputSignals"]["Line0"] = {"periodUs": 200000, "highUs": 40000, "phaseUs": 0}
json.dump(camera, open(sys.argv[1], "w"), indent=1)
PY
env -u LC_ALL -u LC_MESSAGES QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" LANG=C.UTF-8 \
    "$viewer" --camera "$work/triggered.json" --acquire --delay 4000 --screenshot docs/screenshot-acquiring.png >/dev/null
echo docs/screenshot-acquiring.png
