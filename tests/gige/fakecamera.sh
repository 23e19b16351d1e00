# Aravis's fake GigE Vision camera on 127.0.0.1, serving the full simulated
# camera with its power-up values. Sourced; needs $source (the repository).
# The camera lives at most ten minutes even if the caller is killed; the
# caller stops it with stop_fake (trap it on EXIT).

address=127.0.0.1
serial=25B7043 # what the simulated camera reports
fake=

stop_fake() {
    [ -n "$fake" ] || return 0
    kill "$fake" 2>/dev/null || true
    wait "$fake" 2>/dev/null || true
    fake=
}

start_fake() {
    timeout 600 arv-fake-gv-camera-0.8 -i "$address" -s "$serial" -g "$source/data/genicam/full.xml" >/dev/null 2>&1 &
    fake=$!
    # Ready once it answers a register read; a busy machine may take a while.
    local tries
    for tries in $(seq 100); do
        timeout 5 arv-tool-0.8 -a "$address" control R[0x0] >/dev/null 2>&1 && break
        kill -0 "$fake" 2>/dev/null || { echo "the fake GigE Vision camera did not start" >&2; return 1; }
        [ "$tries" -lt 100 ] || { echo "the fake GigE Vision camera does not answer" >&2; return 1; }
        sleep 0.1
    done
    # Its memory starts at zero, its own image registers at defaults of its
    # own: bring them all to the simulated camera's power-up values.
    # shellcheck disable=SC2046
    timeout 60 arv-tool-0.8 -a "$address" control $(cat "$source/data/genicam/full.powerup") >/dev/null
}
