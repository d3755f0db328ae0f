#!/usr/bin/python3
"""Peer: pypdf + reportlab (Debian python3-pypdf, python3-reportlab): one overlay page per
page drawn by reportlab in memory, merged onto each page with merge_page."""
import io
import sys
from pypdf import PdfReader, PdfWriter
from reportlab.pdfgen import canvas

reader = PdfReader(sys.argv[1])
n = len(reader.pages)
buf = io.BytesIO()
box = reader.pages[0].mediabox
c = canvas.Canvas(buf, pagesize=(float(box.right), float(box.top)))
for i in range(n):
    c.setFont("Helvetica", 11)
    c.drawString(float(box.left) + 20, float(box.bottom) + 10, "Page %d / %d" % (i + 1, n))
    c.showPage()
c.save()
overlay = PdfReader(io.BytesIO(buf.getvalue()))
writer = PdfWriter()
for i, page in enumerate(reader.pages):
    page.merge_page(overlay.pages[i])
    writer.add_page(page)
with open(sys.argv[2], "wb") as f:
    writer.write(f)
