#include "engine/pdf/pdf_document.hpp"

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/raw_object.hpp"

namespace tavrix {
namespace {

// /P as the /Encrypt dictionary's text writes it: an unsigned value beyond 32 bits reads whole.
std::optional<int64_t> rawPermissions(std::string_view text, size_t dictFrom) {
    const std::optional<DictEntry> p = findEntry(text, dictFrom, "P");
    return p ? readIntegerValue(text, p->value) : std::nullopt;
}

// Opens an encrypted file with the password, or refuses it; a file without /Encrypt is left as
// it is.
void unlock(XrefTable& xref, const std::optional<std::string>& password) {
    const PdfDict& trailer = *xref.trailer().getDict();
    const PdfObject encrypt = trailer.lookupRaw("Encrypt");
    if (encrypt.isNull()) return;
    if (!password)
        throw CPdfException("PDF file is encrypted",
                            "{input} is encrypted (give its password; an empty one opens most "
                            "files)",
                            FailureKind::PasswordNeeded);
    EncryptionParameters parameters;
    PdfObject dict = encrypt;
    int32_t encryptNum = -1;
    if (encrypt.isRef()) {
        encryptNum = encrypt.getRefNum();
        dict = xref.fetchObject(encryptNum, encrypt.getRefGen());
        const RawObject raw = readRawObject(xref, encryptNum);
        const std::optional<ObjectHeader> header = readObjectHeader(raw.bytes(), 0);
        if (header) parameters.rawP = rawPermissions(raw.bytes(), header->end);
    } else {
        std::string_view text;
        if (const std::optional<Value> value = directTrailerEntry(xref, "Encrypt", text))
            parameters.rawP = rawPermissions(text, value->begin);
    }
    if (!dict.isDict())
        throw CPdfException("PDF file is encrypted",
                            "{input}: its encryption dictionary is damaged (/Encrypt is no "
                            "dictionary)");
    parameters.dict = dict.getDict().get();
    const PdfObject id = trailer.lookup("ID");
    if (id.isArray() && id.getArray()->size() > 0) {
        const PdfObject first = id.getArray()->get(0);
        if (first.isString()) parameters.id0 = first.getText();
    }
    xref.setSecurity(SecurityHandler::open(parameters, *password), encryptNum);
}

} // namespace

int64_t findHeaderOffset(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 1023);
    const size_t at = head.find("%PDF-");
    if (at == std::string_view::npos || at > 1017) return 0;
    return static_cast<int64_t>(at);
}

void PdfDocument::openDocument(const std::string& path, const OpenOptions& options) {
    openDocument(InputFile::open(path), options);
}

void PdfDocument::openDocument(std::shared_ptr<InputFile> file, const OpenOptions& options) {
    closeDocument();
    file_ = std::move(file);
    headerShift_ = findHeaderOffset(file_->view());
    auto xref = std::make_unique<XrefTable>(file_, headerShift_);
    try {
        bool rebuild = options.rebuild;
        try {
            if (!rebuild) xref->read();
            int64_t bad = -1;
            if (options.repair && !xref->pointsAtObjects(bad)) {
                xref->diagnostics().add(-1, bad,
                                        "the cross-reference data points at other bytes than "
                                        "the objects");
                rebuild = true;
            }
        } catch (const CPdfException& e) {
            if (!options.repair || e.kind() != FailureKind::RepairNeeded) throw;
            rebuild = true;
        }
        if (rebuild) xref->rebuild();
        unlock(*xref, options.password);
        if (rebuild) xref->finishRebuild();
    } catch (...) {
        file_.reset();
        throw;
    }
    xref_ = std::move(xref);
}

void PdfDocument::closeDocument() {
    xref_.reset();
    file_.reset();
}

} // namespace tavrix
