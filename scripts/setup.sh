#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run, test and benchmark.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  libjsoncpp-dev libtinyxml2-dev libcurl4-openssl-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev libsqlite3-dev libx11-dev libxtst-dev fonts-wqy-microhei
  libcpp-httplib-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev zlib1g-dev libsodium-dev clang libclang-rt-14-dev
  xvfb xauth x11-utils nginx imagemagick xfwm4 trayer dbus
  librsvg2-bin desktop-file-utils appstream xdotool dpkg-dev file curl jq
  faketime openssl ca-certificates tinyproxy linux-perf
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav gstreamer1.0-tools
  ibus ibus-gtk3 ibus-libpinyin fcitx5 fcitx5-frontend-gtk3 fcitx5-chinese-addons at-spi2-core python3-pyatspi
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
