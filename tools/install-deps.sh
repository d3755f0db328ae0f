#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tavrix and Folvane need, skipping
# those already present. Run as root on Debian 12 (bookworm).
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  zlib1g-dev libdeflate-dev nettle-dev
  libharfbuzz-dev libfribidi-dev libfontconfig-dev libfreetype-dev libharfbuzz-bin
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools qt6-pdf-dev libgl-dev fonts-dejavu-core
  dpkg-dev
  qpdf poppler-utils mupdf-tools libnss3-tools
  fonts-noto-core fonts-wqy-microhei fonts-noto-cjk fonts-urw-base35
  clang libclang-rt-14-dev
  python3 python3-dev python3-venv python3-setuptools python3-wheel python3-pip pybind11-dev
  python3-pytest python3-distributed
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

# pdf.js reads the stamp tests' output as a third reader (tests/pdfjs). Node may come from
# elsewhere than Debian, with npm inside it, so the commands are what is checked.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends nodejs npm
fi
pdfjs=$(cd "$(dirname "$0")/../tests/pdfjs" && pwd)
if [ ! -d "$pdfjs/node_modules/pdfjs-dist" ]; then
  npm ci --prefix "$pdfjs" --omit=optional --no-audit --no-fund --loglevel=error
fi
