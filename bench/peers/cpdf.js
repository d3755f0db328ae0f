// Peer: cpdf (npm coherentpdf). node cpdf.js IN OUT; NODE_PATH must reach the installed package.
// addText with cpdf's own page placeholders %Page and %EndPage.
const cpdf = require("coherentpdf");

const pdf = cpdf.fromFileLazy(process.argv[2], "");
const all = cpdf.all(pdf);
cpdf.addText(false, pdf, all, "Page %Page / %EndPage", cpdf.posLeft, 20.0, 10.0, 1.0,
             0, cpdf.helvetica, 11.0, 0.0, 0.0, 0.0, false, false, false,
             1.0, cpdf.leftJustify, false, false, "", 0.0, false);
cpdf.toFile(pdf, process.argv[3], false, false);
