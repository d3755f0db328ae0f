#!/bin/sh
# Peer: pdftk multistamp of a numbers PDF made by reportlab (Debian pdftk-java, python3-reportlab, python3-pypdf).
set -e
t=$(mktemp -d); trap 'rm -rf "$t"' EXIT
/usr/bin/python3 "$(dirname "$0")/numbers_pdf.py" "$1" "$t/numbers.pdf"
pdftk "$1" multistamp "$t/numbers.pdf" output "$2"
