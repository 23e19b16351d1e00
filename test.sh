#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then one with
# AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails.
# Then a short fuzz run of the presets loader and applier (see fuzz/README.md).
set -euo pipefail
cd "$(dirname "$0")"
. tools/common.sh

ensure_packages
ensure_packages "${fuzz_packages[@]}"
build_tree build
ctest --test-dir build --output-on-failure -j "$(nproc)"
build_tree build-asan -DKEL_SANITIZE=ON
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

CC=clang CXX=clang++ target=fuzz_presets build_tree build-fuzz -DKEL_FUZZ=ON
mkdir -p build-fuzz/corpus
# The first folder collects new inputs; the seeds are only read. Findings
# land in build-fuzz/ and fail the run.
(cd build-fuzz && LSAN_OPTIONS=suppressions=../fuzz/lsan.supp ./fuzz/fuzz_presets \
    -max_total_time=30 -dict=../fuzz/presets.dict corpus ../fuzz/corpus ../data/presets 2>fuzz.log) \
    || { tail -40 build-fuzz/fuzz.log; exit 1; }
echo "All tests passed in both builds; 30 s of fuzzing found nothing."
