#!/bin/sh
# Fails when a visible text of the plug-in or the viewer has no German translation: lupdate
# adds every text it finds in the sources to a copy of the .ts file and marks
# the new ones unfinished.
# Usage: check_translations.sh LUPDATE SOURCE_DIR
set -eu
lupdate=$1
cd "$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp views/translations/tabextensionadvtrigger_de.ts "$work/de.ts"
"$lupdate" -silent -no-obsolete -locations none plugin views widgets presets features -ts "$work/de.ts" 2>/dev/null
if grep -B1 'type="unfinished"' "$work/de.ts"; then
    echo "Texts above have no German translation in views/translations/tabextensionadvtrigger_de.ts." >&2
    exit 1
fi
# The viewer's window, likewise.
cp viewer/translations/camera-viewer_de.ts "$work/viewer.ts"
"$lupdate" -silent -no-obsolete -locations none viewer -ts "$work/viewer.ts" 2>/dev/null
if grep -B1 'type="unfinished"' "$work/viewer.ts"; then
    echo "Texts above have no German translation in viewer/translations/camera-viewer_de.ts." >&2
    exit 1
fi
