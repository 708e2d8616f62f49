#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Safe to run again and again: with everything in place it changes nothing and asks no server.
# With --tests it also installs what only the tests need from outside Debian: node and npm, and
# the browser tests' npm packages from their lock file; and it fetches promtool (below).
# The station page's one npm package (hls.js, pinned by web/package-lock.json) is installed
# whenever npm is there; --web (scripts/package.sh) and --tests install node and npm for it.
set -euo pipefail
tests=0
web=0
[[ ${1:-} == --tests ]] && tests=1 && web=1
[[ ${1:-} == --web ]] && web=1

packages=(
    # build
    g++ cmake ninja-build pkg-config python3 libasio-dev libicu-dev libssl-dev
    # the console: Qt 6 widgets, its translation tools, and a display for headless test runs
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev xvfb xauth
    # Korean glyphs for the Korean language pack (the smallest Korean font family)
    fonts-nanum
    # the WMA encoder plug-in: the system's codec libraries (they hold the WMA version 2 encoder)
    libavcodec-dev libavformat-dev libswresample-dev libavutil-dev
    # tests: real encoders and players against the engine, nginx as a cache in front of it
    libgtest-dev ffmpeg mpg123 curl icecast2 chromium openssl nginx
    # an XML parser for the statistics documents the engine writes
    libxml2-utils
    # the listening statistics' file, and the countries of listeners' addresses (mmdb-bin: the
    # tests check the database they write with its mmdblookup)
    libsqlite3-dev libmaxminddb-dev mmdb-bin
    # VLC without its interfaces: the command-line player and the base plug-ins (HTTP, HLS,
    # MP3 and AAC decoding), far less than the vlc metapackage
    vlc-bin vlc-plugin-base
    # a playlist source that sends its first title before its first audio
    ezstream
    # Xlib, for the single-instance test's look at the console's window under Xvfb
    libx11-dev
    # fuzzing and the formatting check
    clang libclang-rt-14-dev clang-format
    # the Debian package and its checks
    dpkg-dev lintian desktop-file-utils appstream systemd
)

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    as_root=(sudo)
fi

missing=()
# node and npm are looked for as commands: they may come from elsewhere than Debian (NodeSource's
# nodejs carries its own npm and conflicts with Debian's).
if ((web)); then
    command -v node >/dev/null 2>&1 || missing+=(nodejs)
    command -v npm >/dev/null 2>&1 || missing+=(npm)
fi
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# hls.js for the station page, from web/package-lock.json; the build copies it beside the engine.
# Without npm (a plain build) the page simply offers no hls.js.
station=$(dirname "$0")/../web
if command -v npm >/dev/null 2>&1 &&
    ! cmp -s "$station/package-lock.json" "$station/node_modules/.installed-lock.json"; then
    echo "Installing the station page's npm package (npm ci in web)"
    (cd "$station" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$station/package-lock.json" "$station/node_modules/.installed-lock.json"
fi

# The browser tests' npm packages (hls.js, puppeteer-core, axe-core), at the versions
# tests/browser/package-lock.json pins. A copy of the lock file beside what it installed tells
# whether node_modules is still what the lock file says.
browser=$(dirname "$0")/../tests/browser
if ((tests)) && ! cmp -s "$browser/package-lock.json" "$browser/node_modules/.installed-lock.json"; then
    echo "Installing the browser tests' npm packages (npm ci in tests/browser)"
    (cd "$browser" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$browser/package-lock.json" "$browser/node_modules/.installed-lock.json"
fi

# promtool, which checks the engine's /metrics the way Prometheus reads it. It is the one file
# taken from Debian's prometheus package: the package is downloaded (about 19 MB), never
# installed, so no Prometheus daemon lands on the machine. The tests look for it here.
tools=$(dirname "$0")/../build/tools
if ((tests)) && [[ ! -x $tools/promtool ]]; then
    echo "Fetching promtool (usr/bin/promtool of Debian's prometheus package, not installed)"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # Root downloads as itself: apt's download user could not write to the private folder.
    sandbox=()
    if [[ $(id -u) -eq 0 ]]; then
        sandbox=(-o APT::Sandbox::User=root)
    fi
    download() { (cd "$work" && apt-get download -qq "${sandbox[@]}" prometheus); }
    # Package lists that are missing or out of date (an updated package's old file gone from
    # the mirror) are refreshed once.
    if ! download; then
        "${as_root[@]}" apt-get update -qq
        download
    fi
    dpkg-deb --fsys-tarfile "$work"/prometheus_*.deb | tar -x -C "$work" ./usr/bin/promtool
    mkdir -p "$tools"
    mv "$work/usr/bin/promtool" "$tools/promtool"
fi
