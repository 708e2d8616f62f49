#!/usr/bin/env bash
# Builds Orvanta Server, lays out its program folder and starts it.
#   bash scripts/run.sh [ovserver arguments, e.g. /start /config:/srv/station.ini]
# The program folder is build/release/bin: ovserver, its modules, Config.ini and the caches.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# From the program folder, so the default log and content folders ("./log", "./content")
# land beside the program. Without a window system there is nothing to show a window on.
cd "$build/bin"
exec ./ovserver --headless "$@"
