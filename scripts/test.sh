#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test suite (the fuzz targets for a few seconds each), then checks
# the install (scripts/check-install.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz=OFF
command -v clang++ >/dev/null && fuzz=ON
cmake -S . -B build-test -G Ninja -DZTL_SANITIZE=ON -DZTL_BUILD_FUZZ=$fuzz -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-test
ctest --test-dir build-test --output-on-failure -j2
# The install as another project sees it: shared libraries, find_package,
# pkg-config and the Debian package.
scripts/check-install.sh
