#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then one with
# AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails.
set -euo pipefail
cd "$(dirname "$0")"
. tools/common.sh

ensure_packages
build_tree build
ctest --test-dir build --output-on-failure -j "$(nproc)"
build_tree build-asan -DKEL_SANITIZE=ON
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
echo "All tests passed in both builds."
