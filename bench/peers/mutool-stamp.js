// mutool run mutool-stamp.js IN OUT
// Stamps "Page n / N" 20pt from the left, 10pt from the bottom, Helvetica 11pt, on every page:
// one added font, each page's contents wrapped in q/Q by two new streams, saved without
// garbage collection and without recompressing anything.
var doc = new PDFDocument(scriptArgs[0]);
var n = doc.countPages();
var font = doc.addSimpleFont(new Font("Helvetica"), "Latin");
var open = doc.addStream("q\n", {});
function inherited(page, key) {
  for (var node = page, depth = 0; node && depth < 64; node = node.get("Parent"), depth++) {
    var v = node.get(key);
    if (v && !v.isNull()) return v;
  }
  return null;
}
for (var i = 0; i < n; i++) {
  var page = doc.findPage(i);
  var box = inherited(page, "CropBox") || inherited(page, "MediaBox");
  var x = 20, y = 10;
  if (box) { x += box.get(0).valueOf(); y += box.get(1).valueOf(); }
  var close = doc.addStream("Q\nq BT /TvxNum 11 Tf 0 g " + x + " " + y + " Td (Page " + (i + 1) +
                            " / " + n + ") Tj ET Q\n", {});
  var contents = page.get("Contents");
  var arr = doc.newArray();
  arr.push(open);
  if (contents.isArray()) {
    for (var k = 0; k < contents.length; k++) arr.push(contents.get(k));
  } else if (!contents.isNull()) {
    arr.push(contents);
  }
  arr.push(close);
  page.put("Contents", arr);
  var res = inherited(page, "Resources");
  if (!res) { res = doc.newDictionary(); }
  // Copy an inherited resource dictionary onto the page before changing it.
  if (!page.get("Resources") || page.get("Resources").isNull()) { page.put("Resources", res); }
  var fonts = res.get("Font");
  if (!fonts || fonts.isNull()) { fonts = doc.newDictionary(); res.put("Font", fonts); }
  fonts.put("TvxNum", font);
}
doc.save(scriptArgs[1], "");
