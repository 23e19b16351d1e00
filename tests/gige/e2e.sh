#!/usr/bin/env bash
# The end-to-end run over the GigE Vision protocol: Aravis's fake GigE
# Vision camera on 127.0.0.1 serves the full simulated camera's GenICam
# description, with its power-up values. The viewer is checked against one
# such camera, the suite given runs against a fresh one. The fake camera is
# stopped whatever happens, and lives at most ten minutes even if this
# script is killed.
# Usage: e2e.sh SOURCE_DIR VIEWER TEST_PROGRAM
set -euo pipefail
source=$1 viewer=$2 suite=$3
address=127.0.0.1
serial=25B7043 # what the simulated camera reports
fake=

stop_fake() {
    [ -n "$fake" ] || return 0
    kill "$fake" 2>/dev/null || true
    wait "$fake" 2>/dev/null || true
    fake=
}
trap stop_fake EXIT

start_fake() {
    timeout 600 arv-fake-gv-camera-0.8 -i "$address" -s "$serial" -g "$source/data/genicam/full.xml" >/dev/null 2>&1 &
    fake=$!
    # Ready once it answers a register read; a busy machine may take a while.
    for _ in $(seq 100); do
        timeout 5 arv-tool-0.8 -a "$address" control R[0x0] >/dev/null 2>&1 && break
        kill -0 "$fake" 2>/dev/null || { echo "the fake GigE Vision camera did not start"; exit 1; }
        sleep 0.1
    done
    # Its registers start at zero: bring them to the simulated camera's power-up values.
    # shellcheck disable=SC2046
    timeout 60 arv-tool-0.8 -a "$address" control $(cat "$source/data/genicam/full.powerup") >/dev/null
}

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
