#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev
  libsmbclient-dev libcurl4-openssl-dev libblkid-dev libavahi-client-dev
  wsdd iproute2 avahi-daemon
  vsftpd python3-pyftpdlib
  samba smbclient
  libsecret-1-dev libglib2.0-dev gnome-keyring libsecret-tools dbus-daemon  # keyring and GIO; the keyring tests
  qt6-translations-l10n  # Qt's own dialogs in Chinese
  fonts-noto-cjk adwaita-icon-theme shared-mime-info
  xvfb xauth
  clang libclang-rt-14-dev
  ccache lld  # cached rebuilds, faster links
  dpkg-dev file desktop-file-utils appstream librsvg2-bin  # the package, its checks, its icons
  dbus-daemon dbus-bin  # a private session bus in the tests
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
