#!/usr/bin/env bash
# Builds a release of the program into build-release (or $TREVANIX_PACKAGE_DIR) and packs it as
# a Debian package with CPack. The last line printed is the path of the .deb; install it with
#     sudo apt-get install <that path>
# Installs what it needs (apt-get), like the other scripts. Extra cmake options come from
# TREVANIX_CMAKE_ARGS.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
# dpkg-shlibdeps (dpkg-dev) computes the package's Depends from the binaries.
missing=()
for p in dpkg-dev file; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
dir="${TREVANIX_PACKAGE_DIR:-build-release}"
# Debian's hardening flags (stack protector, fortified functions, full RELRO), without -g: the
# package's binaries are stripped.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --get "$1"; }
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTREVANIX_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" ${TREVANIX_CMAKE_ARGS:-} >/dev/null
cmake --build "$dir" -j2
rm -f "$dir"/trevanix_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
debs=("$dir"/trevanix_*.deb)
[ -f "${debs[0]}" ] || { echo "cpack wrote no package" >&2; exit 1; }
realpath "${debs[0]}"
