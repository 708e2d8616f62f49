#!/usr/bin/env bash
# Builds a Release build and the Debian package of Orvanta Server:
#   bash scripts/package.sh
# leaves build/package/orvanta-server_<version>_amd64.deb and checks it with lintian (an
# error fails the script). The layout is the install rules' (packaging/CMakeLists.txt); the
# control data and maintainer scripts come from packaging/debian/.
set -euo pipefail
cd "$(dirname "$0")/.."

# --web: with node and npm, so the package carries hls.js for the station page.
bash scripts/deps.sh --web

name=orvanta-server
build=build/package-release
out=build/package
root=$out/root
jobs=${ORV_JOBS:-$(nproc)}

# Debian's hardening: stack protector, fortified functions, full RELRO, PIE.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORV_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j "$jobs" --target ovserver ovstream ovwma ovwmaenc language_packs packaging_documents

rm -rf "$out"
mkdir -p "$root"
DESTDIR=$PWD/$root cmake --install "$build" --strip >/dev/null
# Only what the package ships: the engine's build also installs nothing else, but a stray
# file would go unnoticed in the archive.
find "$root" -type d -empty -delete

upstream=$(sed -n 's/^project(OrvantaServer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
version=$(dpkg-parsechangelog -l packaging/changelog.Debian -S Version)
if [[ ${version%-*} != "$upstream" ]]; then
    echo "packaging/changelog.Debian is at $version, the project at $upstream" >&2
    exit 1
fi
arch=$(dpkg --print-architecture)

# Dependencies from the binaries' own needs. dpkg-shlibdeps wants a source tree around it.
shlibs=$(mktemp -d)
trap 'rm -rf "$shlibs"' EXIT
mkdir -p "$shlibs/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$name" "$name" >"$shlibs/debian/control"
binaries=("$PWD/$root/usr/lib/$name/ovserver" "$PWD/$root/usr/lib/$name/ovstream.so"
    "$PWD/$root/usr/lib/$name/ovwma.so" "$PWD/$root/usr/lib/$name/ovwmaenc.so")
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "${binaries[@]}" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')

mkdir -p "$root/DEBIAN"
install -m 0755 packaging/debian/postinst packaging/debian/prerm packaging/debian/postrm \
    "$root/DEBIAN/"
install -m 0644 packaging/debian/conffiles "$root/DEBIAN/"
(cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z |
    xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<CONTROL
Package: $name
Version: $version
Architecture: $arch
Maintainer: Orvanta Packaging <packages@orvanta.net>
Installed-Size: $size
Depends: $depends, adduser
Recommends: logrotate
Section: sound
Priority: optional
Homepage: https://www.orvanta.net/
Description: internet radio station server with a desktop console
 Orvanta Server streams an internet radio station: encoders send their
 stream with the SHOUTcast v1 or the Icecast source protocol, and ordinary
 players listen over HTTP or HTTPS, in MP3 or Ogg Vorbis.
 .
 The package holds the console, which shows the source, the listeners and
 the time on air and keeps the station's settings, and the system service
 orvanta-server, which runs the same program without windows with its
 settings in /var/lib/orvanta-server/Config.ini.
CONTROL

deb="$out/${name}_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "Built $deb"

# Errors fail; warnings and notes are shown.
lintian_log=$out/lintian.txt
lintian --fail-on error --tag-display-limit 0 "$deb" >"$lintian_log" 2>&1 || {
    cat "$lintian_log"
    echo "lintian found errors in $deb" >&2
    exit 1
}
if [[ -s $lintian_log ]]; then cat "$lintian_log"; fi
echo "lintian: no errors"
