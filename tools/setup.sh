#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev
          libqt6opengl6-dev libsqlite3-dev sqlite3 xvfb xauth poppler-utils python3 python3-hl7
          openssl)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The FHIR R4 schema validator the tests run (npm; versions pinned by its package-lock.json).
# Without it tst_fhir fails.
validator="$(dirname "$0")/fhir-validator"
if [ "$validator/node_modules/.package-lock.json" -nt "$validator/package-lock.json" ]; then
    : # installed, and not older than the pinned versions
elif command -v npm >/dev/null; then
    npm ci --prefix "$validator" --no-audit --no-fund --loglevel=error
else
    echo "npm is missing: the FHIR export tests (tst_fhir) will fail" >&2
fi
