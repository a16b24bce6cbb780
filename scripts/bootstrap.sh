#!/usr/bin/env bash
# Installs what building, testing and the demo need, when it is missing.
# Quick and silent when everything is already there.
set -euo pipefail

# Debian package for each command or file we need.
need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_file() { [ -e "$1" ]; }

have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd g++ || need+=(g++)
have_cmd pkg-config || need+=(pkg-config)
have_file /usr/include/gtest/gtest.h || need+=(libgtest-dev)
have_file /usr/include/benchmark/benchmark.h || need+=(libbenchmark-dev)
have_file /usr/include/png.h || need+=(libpng-dev)
# The qvt program: arguments, pictures, scaling, labels, the window, videos.
have_file /usr/include/CLI/CLI.hpp || need+=(libcli11-dev)
have_file /usr/include/jpeglib.h || need+=(libjpeg-dev)
compgen -G '/usr/include/*/libswscale/swscale.h' >/dev/null || have_file /usr/include/libswscale/swscale.h ||
    need+=(libswscale-dev)
have_file /usr/include/freetype2/ft2build.h || need+=(libfreetype-dev)
have_file /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf || need+=(fonts-dejavu-core)
have_file /usr/include/SDL2/SDL.h || need+=(libsdl2-dev)
{ have_cmd ffmpeg && have_cmd ffprobe; } || need+=(ffmpeg)
# The play test's X server.
have_cmd Xvfb || need+=(xvfb)

[ ${#need[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    SUDO=()
elif have_cmd sudo && sudo -n true 2>/dev/null; then
    SUDO=(sudo -n)
else
    echo "bootstrap: missing packages: ${need[*]}; run as root:" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends ${need[*]}" >&2
    exit 1
fi
echo "bootstrap: installing ${need[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq >/dev/null
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
