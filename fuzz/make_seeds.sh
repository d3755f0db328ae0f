#!/bin/sh
# Writes the seed corpus under fuzz/seeds/: tiny documents in the forms the reader handles (a
# classic table, object streams with a cross-reference stream, a linearized file, an
# incremental update, bytes before the header), made from one hand-written page by qpdf, and a
# few object texts for the parser; stamp texts in several scripts, and small fonts with TrueType
# and CFF outlines. Needs qpdf, hb-subset (libharfbuzz-bin) and the fonts of install-deps.sh.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
seeds=$here/seeds
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$seeds"
mkdir -p "$seeds/parse_object" "$seeds/open_document" "$seeds/stamp_file" "$seeds/shape_text" \
    "$seeds/font_program" "$seeds/scan_text"

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

# Encrypted with the empty user password: RC4 and AES-256, the latter with object streams.
qpdf --static-id --allow-weak-crypto --encrypt "" owner 128 --use-aes=n -- "$work/table.pdf" "$work/rc4.pdf"
qpdf --static-id --encrypt "" owner 256 -- "$work/objstm.pdf" "$work/aes256.pdf"
# Damaged: no "startxref", so the cross-reference data is rebuilt from the object headers.
sed 's/startxref/startxxxx/' "$work/table.pdf" > "$work/nostartxref.pdf"

for doc in table objstm linear update junk rc4 aes256 nostartxref; do
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

# Stamp texts: the first byte picks the font setting, a line break starts a second page's text.
printf '\000\320\241\321\202\321\200\320\260\320\275\320\270\321\206\320\260 3 \320\270\320\267 12' \
    > "$seeds/shape_text/cyrillic.txt"
printf '\004\347\254\254 3 \351\241\265 / \345\205\261 12 \351\241\265' > "$seeds/shape_text/chinese.txt"
printf '\000\330\265\331\201\330\255\330\251 3 \331\205\331\206 12\n\327\242\327\236\327\225\327\223 (3)' \
    > "$seeds/shape_text/rtl.txt"
printf '\001Pe\314\201ge \357\254\201 office \340\244\252\340\245\203\340\244\267\340\245\215\340\244\240' \
    > "$seeds/shape_text/marks.txt"
printf '\003\340\275\200 \347\254\254 \360\237\247\252' > "$seeds/shape_text/fallback.txt"

# Fonts cut down to a few glyphs, so that mutations reach the tables quickly.
text="Page 12 fi \320\270\320\267 \327\242\327\236"
hb-subset --no-hinting --text="$(printf "$text")" \
    --output-file="$seeds/font_program/truetype.ttf" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
hb-subset --no-hinting --text="$(printf "$text")" \
    --output-file="$seeds/font_program/cff.otf" /usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf

# Object texts as raw object access and the page code see them.
cp "$seeds/parse_object/dict.txt" "$seeds/parse_object/tokens.txt" "$seeds/scan_text/"
printf '3 0 obj\n<< /Type /Page /Annots [<< /Contents (type endobj) /Rotate 90 >>] %% endobj\n/MediaBox 9 0 R /Contents 4 0 R /Kids [1 0 R] /Rot#61te -90 >>\nendobj\n' \
    > "$seeds/scan_text/page.txt"
printf '4 0 obj << /Length 6 >>\nstream\r\nabc endstream\nendstream\nendobj\n' \
    > "$seeds/scan_text/stream.txt"
