#!/usr/bin/env bash
# Installs with apt-get whatever the build, the program and its tests need and is not there yet.
# Quick when nothing is missing; works as root or through sudo.
set -euo pipefail

packages=(
  g++ clang cmake make pkg-config clang-format
  freeglut3-dev libglu1-mesa-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev xvfb xauth libgl1-mesa-dri xdotool x11-apps x11-utils imagemagick
  libgsl-dev liborocos-kdl-dev libclang-rt-14-dev locales
  nlohmann-json3-dev libcli11-dev libcairo2-dev libtbb-dev
  libfcl-dev libompl-dev
  # The motion as a film: offscreen OpenGL on EGL (Mesa's surfaceless platform), GIF and MP4
  # (H.264 through libavcodec's libx264) encoders.
  libegl-dev libegl-mesa0 libgif-dev libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  # For the tests of the URDF export only: urdfdom and kdl_parser read it back, check_urdf checks it.
  liburdfdom-dev libkdl-parser-dev liburdfdom-tools
  # The Debian package's dependencies (cpack reads them with dpkg-shlibdeps).
  dpkg-dev
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, for the test that typed numbers read the same in every locale
# (the test is skipped without it).
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  "${as_root[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "No de_DE.UTF-8 locale made."
fi
