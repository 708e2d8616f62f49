#!/usr/bin/env bash
# Builds Orvanta Server, lays out its program folder and starts it.
#   bash scripts/run.sh [ovserver arguments, e.g. /start /config:/srv/station.ini]
# The program folder is build/release/bin: ovserver, its modules, Config.ini and the caches.
# With a display (DISPLAY or WAYLAND_DISPLAY) it opens the console; without one, or with
# --headless among the arguments, it runs without windows.
# ORV_RUN_PRINT=1 prints the command it would start and stops before building anything.
set -euo pipefail
cd "$(dirname "$0")/.."

# "console" or "headless" for these arguments and this environment.
run_mode() {
    local arg
    for arg in "$@"; do
        if [[ $arg == --headless ]]; then
            echo headless
            return
        fi
    done
    if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
        echo console
    else
        echo headless
    fi
}

command=(./ovserver "$@")
# The program's own rule is the same, but it also counts QT_QPA_PLATFORM as a display; the
# flag makes this script's choice the one that holds.
if [[ $(run_mode "$@") == headless ]]; then
    has_flag=0
    for arg in "$@"; do [[ $arg == --headless ]] && has_flag=1; done
    ((has_flag)) || command=(./ovserver --headless "$@")
fi

if [[ -n ${ORV_RUN_PRINT:-} ]]; then
    echo "$(run_mode "$@"): ${command[*]}"
    exit 0
fi

bash scripts/deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# From the program folder, so the default log and content folders ("./log", "./content")
# land beside the program.
cd "$build/bin"
exec "${command[@]}"
