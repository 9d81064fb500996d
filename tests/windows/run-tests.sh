#!/usr/bin/env bash
# Builds the tests for Windows with every warning an error and runs them under Wine:
#
#   bash tests/windows/run-tests.sh [QT_PREFIX]
#
# Run after scripts/windows.sh: the tests build into its build-windows/ (only they are new)
# against the Qt it unpacked there, or against QT_PREFIX, the qt/ folder of a Qt built for
# Windows. ctest runs each test through tests/windows/wine-run.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
qt="${1:-$PWD/build-windows/qt-5.15.8-x86_64-w64-mingw32-posix/qt}"
build="$PWD/build-windows"
[ -d "$qt/lib/cmake/Qt5" ] || { echo "run-tests.sh: no Qt for Windows in $qt" >&2; exit 1; }
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt" -DDORVANE_WERROR=ON -DDORVANE_BUILD_TESTS=ON \
    -DDORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j2
