#include "engine/writer/pdf_writer.hpp"

#include <cinttypes>
#include <cstdio>

#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

// One 20-byte entry, as "%010d %05d %c \r" would print it.
void appendEntry(std::string& out, int64_t offset, int32_t gen, char kind) {
    char line[32];
    if (offset >= 0 && offset <= 9'999'999'999 && gen >= 0 && gen <= 99999) {
        for (int i = 9; i >= 0; --i, offset /= 10)
            line[i] = static_cast<char>('0' + offset % 10);
        line[10] = ' ';
        for (int i = 15; i >= 11; --i, gen /= 10)
            line[i] = static_cast<char>('0' + gen % 10);
        line[16] = ' ';
        line[17] = kind;
        line[18] = ' ';
        line[19] = '\r';
        out.append(line, 20);
        return;
    }
    const int n = std::snprintf(line, sizeof line, "%010" PRId64 " %05d %c \r", offset, gen, kind);
    out.append(line, static_cast<size_t>(n));
}

} // namespace

void PdfWriter::beginUpdate(int64_t base, char lastByte) {
    layout_ = Layout::Update;
    base_ = base;
    lastByte_ = lastByte;
}

void PdfWriter::startLine() {
    if (layout_ == Layout::Update && lastByte_ != '\n' && lastByte_ != '\r') write("\n");
}

void PdfWriter::checkOffset(const OutputEntry& e) const {
    if (e.written && e.offset > offsetLimit_) {
        throw CPdfException("Output file too large",
                            "the output would be too large for its cross-reference table "
                            "(objects beyond byte " +
                                std::to_string(offsetLimit_) +
                                "); split {input} into smaller files");
    }
}

int32_t PdfWriter::appendObject(std::string_view text) {
    return append(text, true);
}

int32_t PdfWriter::appendCrossReferenceStream(std::string_view text) {
    return append(text, false);
}

int32_t PdfWriter::append(std::string_view text, bool mayEncrypt) {
    startLine();
    const int32_t num = static_cast<int32_t>(offsets_.size());
    offsets_.push_back(position());
    gens_.push_back(0);
    written_.push_back(true);
    if (encryption_ && mayEncrypt) {
        write(encryption_->newObject(num, std::to_string(num) + std::string(text)));
        return num;
    }
    write(std::to_string(num));
    write(text);
    return num;
}

void PdfWriter::writeObjectText(int32_t num, int32_t gen, std::string_view text,
                                std::optional<ObjectKey> readAs) {
    // The /Encrypt dictionary is never encrypted, wherever the input kept it.
    if (!encryption_ || num == encryption_->encryptNum() || readAs == ObjectKey{num, gen}) {
        write(text);
        return;
    }
    write(encryption_->strings(text, readAs, ObjectKey{num, gen}));
}

std::string PdfWriter::moveStrings(std::string_view piece, std::optional<ObjectKey> from,
                                   std::optional<ObjectKey> to) const {
    if (!encryption_) return std::string(piece);
    return encryption_->strings(piece, from, to);
}

void PdfWriter::markWritten(int32_t num, int32_t gen) {
    startLine();
    setOffset(num, position());
    setWritten(num, gen);
}

void PdfWriter::writeXrefSection() {
    std::string text = "xref\n0 " + std::to_string(size()) + '\r';
    text += "0000000000 65535 f \r";
    write(text);
    std::string block;
    block.reserve(20 * 4096);
    for (size_t i = 1; i < size(); ++i) {
        const OutputEntry e = entry(i);
        checkOffset(e);
        appendEntry(block, e.written ? e.offset : 0, e.written ? e.gen : 0, e.written ? 'n' : 'f');
        if (block.size() >= 20 * 4096) {
            write(block);
            block.clear();
        }
    }
    write(block);
}

void PdfWriter::writeTrailer(int64_t xrefOffset, int32_t rootNum, int32_t rootGen, int32_t infoNum,
                             int32_t infoGen, std::string_view directInfo, std::string_view extra) {
    std::string text = "trailer\n<<\n/Size " + std::to_string(size());
    text += "\n/Root " + std::to_string(rootNum) + ' ' + std::to_string(rootGen) + " R\n";
    if (infoNum != 0)
        text += "/Info " + std::to_string(infoNum) + ' ' + std::to_string(infoGen) + " R\n";
    else if (!directInfo.empty())
        text += "/Info " + std::string(directInfo) + '\n';
    text += extra;
    text += ">>\nstartxref\n" + std::to_string(xrefOffset) + "\n%%EOF";
    write(text);
}

} // namespace tavrix
