#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tavrix and Folvane need, skipping
# those already present. Run as root on Debian 12 (bookworm).
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  zlib1g-dev
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  qpdf poppler-utils mupdf-tools
  clang libclang-rt-14-dev
  python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "All build and test packages are present."
fi
