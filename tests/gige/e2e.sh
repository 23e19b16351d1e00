#!/usr/bin/env bash
# The end-to-end run over the GigE Vision protocol: the viewer is checked
# against Aravis's fake GigE Vision camera serving the full simulated
# camera, then the suite given runs against a fresh one.
# Usage: e2e.sh SOURCE_DIR VIEWER TEST_PROGRAM
set -euo pipefail
source=$1 viewer=$2 suite=$3
. "$(dirname "$0")/fakecamera.sh"
trap stop_fake EXIT

start_fake
echo "viewer --check against the fake camera:"
check=$(timeout 60 "$viewer" --camera "aravis:$address" --check)
echo "$check"
grep -q "result 0$" <<<"$check" || { echo "the plug-in did not accept the camera"; exit 1; }
shot=$(mktemp --suffix=.png)
timeout 60 "$viewer" --camera "aravis:$address" --screenshot "$shot" >/dev/null
[ -s "$shot" ] || { echo "no screenshot"; exit 1; }
rm -f "$shot"
stop_fake

# The viewer moved selectors: the suite gets a camera just powered up.
start_fake
KEL_FAKE_GIGE_ADDRESS=$address KEL_FAKE_GIGE_PID=$fake timeout 900 "$suite"
