#!/bin/sh
# Fails when a visible text of the plug-in has no German translation: lupdate
# adds every text it finds in the sources to a copy of the .ts file and marks
# the new ones unfinished.
# Usage: check_translations.sh LUPDATE SOURCE_DIR
set -eu
lupdate=$1
cd "$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp views/translations/tabextensionadvtrigger_de.ts "$work/de.ts"
"$lupdate" -silent -no-obsolete -locations none plugin views widgets presets -ts "$work/de.ts" 2>/dev/null
if grep -B1 'type="unfinished"' "$work/de.ts"; then
    echo "Texts above have no German translation in views/translations/tabextensionadvtrigger_de.ts." >&2
    exit 1
fi
