// Prints the text pdf.js reads from each page of a PDF file, pages ended by a form feed as
// pdftotext ends them: `node page_text.js FILE`.
'use strict';
const fs = require('fs');
// Loading pdf.js warns that it cannot draw without the canvas package; only text is read here.
const log = console.log;
console.log = () => {};
const pdfjs = require('pdfjs-dist/legacy/build/pdf.js');
console.log = log;

async function main() {
  const data = new Uint8Array(fs.readFileSync(process.argv[2]));
  const doc = await pdfjs.getDocument({ data, useSystemFonts: false, verbosity: 0 }).promise;
  let out = '';
  for (let n = 1; n <= doc.numPages; ++n) {
    const page = await doc.getPage(n);
    const content = await page.getTextContent();
    for (const item of content.items) {
      out += item.str;
      if (item.hasEOL) out += '\n';
    }
    out += '\n\f';
  }
  process.stdout.write(out);
}

main().catch((e) => {
  process.stderr.write(String(e) + '\n');
  process.exit(1);
});
