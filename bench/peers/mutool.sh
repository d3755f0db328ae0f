#!/bin/sh
# Peer: MuPDF command line with a short JavaScript (Debian mupdf-tools).
exec mutool run "$(dirname "$0")/mutool-stamp.js" "$1" "$2"
