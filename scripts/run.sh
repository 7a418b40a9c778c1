#!/usr/bin/env bash
# Installs what is missing, builds Fenlark (Release) and starts it in a working
# directory of its own that holds the shipped default_config.ini. Without a
# display the program runs under Xvfb.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFENLARK_BUILD_TESTS=OFF
cmake --build "$build" --target fenlark fenlark_sample_product

work="$root/build/workdir"
mkdir -p "$work"
cp "$root/default_config.ini" "$work/default_config.ini"
# Synthetic Sentinel-2 products to open (kept when already there): a smooth
# scene, and one of bright shapes for the segmentation tools.
"$build/sample/fenlark_sample_product" "$work"
"$build/sample/fenlark_sample_product" "$work" 1200 shapes

cd "$work"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/src/app/fenlark" "$@"
else
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$build/src/app/fenlark" "$@"
fi
