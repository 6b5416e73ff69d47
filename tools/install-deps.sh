#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages that building, running and testing need.
# Packages that are already installed are left alone, so a second run is quick.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libgtest-dev libgmock-dev googletest
  xvfb xauth xdotool x11-apps xdg-utils desktop-file-utils man-db dpkg-dev file fonts-dejavu-core
  python3 curl nginx-light poppler-utils clang libclang-rt-14-dev
  libssl-dev openssl ca-certificates libexpat1-dev zlib1g-dev nlohmann-json3-dev
  libcurl4-openssl-dev libsqlite3-dev sqlite3 libgumbo-dev
)
if [ "${LARKSPAN_WITH_OFFICE:-1}" = 1 ]; then
  packages+=(libreoffice-calc-nogui libreoffice-writer-nogui)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
