#!/bin/sh
# Peer: qpdf --overlay of a numbers PDF made by reportlab (Debian qpdf, python3-reportlab, python3-pypdf).
set -e
t=$(mktemp -d); trap 'rm -rf "$t"' EXIT
/usr/bin/python3 "$(dirname "$0")/numbers_pdf.py" "$1" "$t/numbers.pdf"
qpdf "$1" --overlay "$t/numbers.pdf" -- "$2"
