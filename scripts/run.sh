#!/usr/bin/env bash
# Builds the dialog and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh -DDORVANE_BUILD_TESTS=OFF -DDORVANE_BUILD_BENCH=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: start Dorvane on a desktop, or under a virtual display with: xvfb-run -a build/bin/dorvane (apt-get install xvfb)" >&2
    exit 1
fi
exec build/bin/dorvane
