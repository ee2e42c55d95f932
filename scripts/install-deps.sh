#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kestrin FTP Pro need.
# Only missing packages are installed; the package lists are refreshed once, and only
# when something is missing. Works as root, uses sudo otherwise.
set -euo pipefail

packages=(
  cmake ninja-build g++ ccache pkg-config clang-format
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core
  python3 python3-pyftpdlib vsftpd microsocks dante-server
  curl lftp
  libssh2-1-dev openssh-server openssh-client python3-paramiko
  libssl-dev openssl python3-openssl
  qtkeychain-qt6-dev gnome-keyring dbus-daemon
  desktop-file-utils appstream dpkg-dev file librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
# Recommended packages are left out; servers used by tests are started by the tests
# themselves, so their system services are kept from starting on installation.
policy=$(mktemp)
printf '#!/bin/sh\nexit 101\n' >"$policy"
chmod +x "$policy"
if [ ! -e /usr/sbin/policy-rc.d ]; then
  "${sudo[@]}" cp "$policy" /usr/sbin/policy-rc.d
  trap '"${sudo[@]}" rm -f /usr/sbin/policy-rc.d' EXIT
fi
rm -f "$policy"
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
