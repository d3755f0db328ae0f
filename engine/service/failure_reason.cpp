#include "engine/service/failure_reason.hpp"

#include <new>

#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

struct MessageReason {
    std::string_view message;
    std::string_view reason; // "{input}" and "{output}" stand for the quoted paths
};

// Reasons for failures whose raiser said no more than the fixed message.
constexpr MessageReason kReasons[] = {
    {"Can't open file", "cannot open {input}"},
    {"Missing 'endstream'", "{input}: a stream does not end with 'endstream'; the file is damaged"},
    {"PDF file was damaged", "{input} is damaged: its cross-reference data or catalog is missing"},
    {"PDF file is encrypted",
     "{input} is encrypted (give its password; an empty one opens most files)"},
    {"Corrupted PDF file", "{input}: an object number lies outside the cross-reference table"},
    {"Unknown font name", "unknown font name"},
    {"Can't create output file", "cannot create {output}"},
    {"Can't write output file", "cannot write {output}"},
    {"Output file too large",
     "{output} would be larger than its cross-reference table can address"},
    {"Can't open import file", "cannot open the import file"},
    {"Can't create export file", "cannot create the export file"},
    {"Can't write export file", "cannot write the export file"},
};

void replaceAll(std::string& text, std::string_view mark, const std::string& value) {
    for (size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + value.size()))
        text.replace(at, mark.size(), value);
}

std::string fromMessage(std::string_view message) {
    for (const MessageReason& r : kReasons)
        if (r.message == message) return std::string(r.reason);
    // The cross-reference messages differ only in which part of the data broke.
    if (message.find("xref") != std::string_view::npos)
        return "{input}: cross-reference data damaged (" + std::string(message) + ")";
    return "{input}: " + std::string(message);
}

} // namespace

std::string quotedPath(std::string_view path) {
    return "'" + std::string(path) + "'";
}

std::string failureReason(const std::exception_ptr& error, std::string_view input,
                          std::string_view output) {
    std::string reason;
    try {
        std::rethrow_exception(error);
    } catch (const CPdfException& e) {
        reason = e.reason().empty() ? fromMessage(e.getMessage()) : e.reason();
    } catch (const std::bad_alloc&) {
        reason = "{input}: not enough memory to stamp it";
    } catch (const std::exception& e) {
        reason = "{input}: unexpected failure (" + std::string(e.what()) + ")";
    } catch (...) {
        reason = "{input}: unexpected failure";
    }
    replaceAll(reason, kInputMark, quotedPath(input));
    replaceAll(reason, kOutputMark, quotedPath(output));
    return reason;
}

FailureKind failureKind(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CPdfException& e) {
        return e.kind();
    } catch (...) {
        return FailureKind::Other;
    }
}

} // namespace tavrix
