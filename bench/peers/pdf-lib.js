// Peer: pdf-lib (npm). node pdf-lib.js IN OUT; NODE_PATH must reach the installed package.
const fs = require("fs");
const { PDFDocument, StandardFonts } = require("pdf-lib");

(async () => {
  const doc = await PDFDocument.load(fs.readFileSync(process.argv[2]), { updateMetadata: false });
  const font = await doc.embedFont(StandardFonts.Helvetica);
  const pages = doc.getPages();
  const n = pages.length;
  pages.forEach((page, i) => {
    const box = page.getMediaBox();
    page.drawText(`Page ${i + 1} / ${n}`, { x: box.x + 20, y: box.y + 10, size: 11, font });
  });
  // Fastest save: no object streams, no yielding to the event loop.
  fs.writeFileSync(process.argv[3], await doc.save({ useObjectStreams: false, objectsPerTick: Infinity }));
})().catch((e) => { console.error(e); process.exit(1); });
