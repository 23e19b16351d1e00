#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then one with
# AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails.
# Then the suites of the threads (the camera's notifications, the live
# simulation) under ThreadSanitizer, and a short fuzz run of the presets
# loader and applier and of the camera description loader (see
# fuzz/README.md). The normal build's tests also build the Debian package,
# unpack it and run the viewer from there, and check it with lintian.
set -euo pipefail
cd "$(dirname "$0")"
. tools/common.sh

ensure_packages
ensure_packages "${fuzz_packages[@]}"
ensure_packages "${package_packages[@]}" lintian
build_tree build
ctest --test-dir build --output-on-failure -j "$(nproc)"
build_tree build-asan -DKEL_SANITIZE=ON
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

# Qt is not instrumented, so only the suites whose threads are ours.
threaded=(tst_notificationdispatcher tst_pluginfeatureobserver tst_simcamera tst_livemodel tst_liveload
          tst_basetabpluginwidget tst_accesscounts tst_aravisbackend tst_simstream tst_simtrace tst_timelineview)
target="${threaded[*]}" build_tree build-tsan -DKEL_TSAN=ON
ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" -R "^($(IFS='|'; echo "${threaded[*]}"))\$"

# Each fuzzer: the first folder collects new inputs; the seeds are only
# read. Findings land in build-fuzz/ and fail the run.
fuzz() {
    local name=$1 log=$2
    shift 2
    (cd build-fuzz && "./fuzz/$name" -max_total_time=30 "$@" 2>"$log") \
        || { tail -40 "build-fuzz/$log"; exit 1; }
}
CC=clang CXX=clang++ target="fuzz_presets fuzz_description" build_tree build-fuzz -DKEL_FUZZ=ON
mkdir -p build-fuzz/corpus build-fuzz/corpus-description
LSAN_OPTIONS=suppressions=../fuzz/lsan.supp \
    fuzz fuzz_presets fuzz.log -dict=../fuzz/presets.dict corpus ../fuzz/corpus ../data/presets
fuzz fuzz_description fuzz-description.log -timeout=10 -dict=../fuzz/description.dict \
    corpus-description ../fuzz/corpus-description
echo "All tests passed in both builds and under ThreadSanitizer; 30 s of fuzzing each found nothing."
