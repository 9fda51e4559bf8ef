#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Korvel needs.
# Idempotent and silent when everything is already present; works as root or via sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-svg-dev libgl-dev libvulkan-dev
  libsqlcipher-dev sqlcipher zlib1g-dev nlohmann-json3-dev
  libcpp-httplib-dev libqrencode-dev
  # Update signatures (libsodium), the service's HTTPS (OpenSSL), test certificates (openssl)
  # and Qt's OpenSSL TLS backend plugin, which libqt6network6 carries with libssl3.
  libsodium-dev libssl-dev openssl libqt6network6 libssl3
  libgtest-dev libgmock-dev
  clang-format fonts-dejavu-core xdg-utils
  clang libclang-rt-14-dev
  qt6-translations-l10n
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "install-deps: missing packages (${missing[*]}) and neither root nor sudo is available" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
