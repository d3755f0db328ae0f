#!/usr/bin/python3
"""Peer: PyMuPDF (Debian python3-fitz). insert_text on every page, fastest save (no garbage
collection, no compression, no cleaning)."""
import sys
import fitz

doc = fitz.open(sys.argv[1])
n = doc.page_count
for i, page in enumerate(doc):
    r = page.rect
    page.insert_text((r.x0 + 20, r.y1 - 10), "Page %d / %d" % (i + 1, n),
                     fontname="helv", fontsize=11)
doc.save(sys.argv[2], garbage=0, deflate=False, clean=False)
