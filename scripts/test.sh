#!/usr/bin/env bash
# Builds everything and runs all tests headless. Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh "$@"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
