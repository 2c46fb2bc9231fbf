#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need. Idempotent.
set -euo pipefail
packages=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-translations-l10n
    libsqlite3-dev zlib1g-dev sqlite3 ripgrep libxxhash-dev libarchive-dev libpcre2-dev
    libexiv2-dev libtag1-dev libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
    qt6-image-formats-plugins
    ffmpeg libimage-exiftool-perl sox libvips-tools hashdeep
    libgl-dev libxkbcommon-dev
    fonts-noto-cjk adwaita-icon-theme xdg-utils
    xvfb xauth appstream shared-mime-info
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
