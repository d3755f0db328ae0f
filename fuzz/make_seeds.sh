#!/bin/sh
# Writes the seed corpus under fuzz/seeds/: tiny documents in the forms the reader handles (a
# classic table, object streams with a cross-reference stream, a linearized file, an
# incremental update, bytes before the header), made from one hand-written page by qpdf, and a
# few object texts for the parser. Needs qpdf.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
seeds=$here/seeds
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$seeds"
mkdir -p "$seeds/parse_object" "$seeds/open_document" "$seeds/stamp_file" "$seeds/scan_text"

# Written without a cross-reference table: qpdf rebuilds one (and warns, status 3).
cat > "$work/page.pdf" <<'PDF'
%PDF-1.5
1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj
2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj
3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R
  /Resources << /Font << /F1 5 0 R >> >> >> endobj
4 0 obj << /Length 34 >> stream
BT /F1 12 Tf 20 100 Td (Hi) Tj ET
endstream endobj
5 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> endobj
trailer << /Size 6 /Root 1 0 R >>
%%EOF
PDF
# Status 3: the hand-written page has no table, which qpdf reports while rebuilding one.
qpdf_ok() { qpdf --static-id "$@" 2>/dev/null || [ $? -eq 3 ]; }
qpdf_ok --object-streams=disable --compress-streams=n "$work/page.pdf" "$work/table.pdf"
qpdf_ok --object-streams=generate "$work/table.pdf" "$work/objstm.pdf"
qpdf_ok --object-streams=generate --compress-streams=y --decode-level=none --linearize \
    "$work/table.pdf" "$work/linear.pdf"

# An incremental update of the table file: one new object and a section whose Prev goes back.
cp "$work/table.pdf" "$work/update.pdf"
prev=$(tail -n 2 "$work/table.pdf" | head -n 1)
at=$(wc -c < "$work/update.pdf")
printf '6 0 obj\n(added)\nendobj\n' >> "$work/update.pdf"
xref=$(wc -c < "$work/update.pdf")
printf 'xref\n6 1\n%010d 00000 n\r\ntrailer\n<< /Size 7 /Root 1 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n' \
    "$at" "$prev" "$xref" >> "$work/update.pdf"

# Bytes before the header: offsets still count from "%PDF-".
{ printf 'junk before the header\n'; cat "$work/objstm.pdf"; } > "$work/junk.pdf"

for doc in table objstm linear update junk; do
    cp "$work/$doc.pdf" "$seeds/open_document/$doc.pdf"
    cp "$work/$doc.pdf" "$seeds/stamp_file/$doc.pdf"
done
cp "$work/table.pdf" "$work/objstm.pdf" "$seeds/parse_object/"

printf '<< /A [1 -2.5 .5 (a\\(b\\)c\\101) <41 4> /N#20x true null 12 0 R] /B << /C /D >> >>' \
    > "$seeds/parse_object/dict.txt"
printf '(nested (paren) \\\n continued \\r\\n)\n<48656c6c6f>\n/Name#41 [[[[]]]] %%comment\n+5 5-3 1.2.3\n' \
    > "$seeds/parse_object/tokens.txt"
printf '<< /Length 5 >>\nstream\nhello\nendstream\n<< /Length 0 >>\nstream\nendstream\n' \
    > "$seeds/parse_object/streams.txt"

# Object texts as raw object access and the page code see them.
cp "$seeds/parse_object/dict.txt" "$seeds/parse_object/tokens.txt" "$seeds/scan_text/"
printf '3 0 obj\n<< /Type /Page /Annots [<< /Contents (type endobj) /Rotate 90 >>] %% endobj\n/MediaBox 9 0 R /Contents 4 0 R /Kids [1 0 R] /Rot#61te -90 >>\nendobj\n' \
    > "$seeds/scan_text/page.txt"
printf '4 0 obj << /Length 6 >>\nstream\r\nabc endstream\nendstream\nendobj\n' \
    > "$seeds/scan_text/stream.txt"
