#!/usr/bin/python3
"""numbers_pdf.py IN NUMBERS: writes a PDF with one page per page of IN (reportlab),
each showing "Page n / N" 20pt from the left and 10pt from the bottom in Helvetica 11pt,
sized like IN's first page (the overlay input for the qpdf and pdftk peers)."""
import sys
from pypdf import PdfReader
from reportlab.pdfgen import canvas

reader = PdfReader(sys.argv[1])
n = len(reader.pages)
box = reader.pages[0].mediabox
# The overlay tools map this page onto each page's box, so its own origin is 0 0.
c = canvas.Canvas(sys.argv[2], pagesize=(float(box.width), float(box.height)), pageCompression=0)
for i in range(n):
    c.setFont("Helvetica", 11)
    c.drawString(20, 10, "Page %d / %d" % (i + 1, n))
    c.showPage()
c.save()
