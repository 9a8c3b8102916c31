#!/usr/bin/env bash
# Redraws every picture of the program into res/png and res/bmp, and the program icon of the
# desktop into packaging/icons, from make_images.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh build >/dev/null
cmake --build build --target make_images -j2 >/dev/null
build/res/make_images res packaging/icons
# The resource list follows the files.
{ echo "<!DOCTYPE RCC><RCC version=\"1.0\">"; echo "<qresource>"
  for f in res/png/*.png res/bmp/*.png; do echo "    <file>${f#res/}</file>"; done
  echo "</qresource>"; echo "</RCC>"; } > res/resources.qrc
