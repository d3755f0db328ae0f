// The end of an incremental update: a cross-reference section listing only the objects the run
// wrote, of the kind the input's newest section is (a table for a table, a stream for a
// stream), chained to that section by /Prev, and a trailer carrying the input's own keys.
#pragma once

#include <cstdint>
#include <string>

#include "engine/writer/pdf_writer.hpp"

namespace tavrix {

struct UpdateTrailer {
    bool stream = false; // a cross-reference stream, as the input's newest section is
    int64_t prev = 0;    // where the input's newest section starts
    // Values as the input's trailer writes them ("1 0 R", "[<..> <..>]"); empty: no such key.
    std::string root, info, id, encrypt;
};

// Writes the section and trailer, "startxref" and the end marker.
void writeUpdateSection(PdfWriter& writer, const UpdateTrailer& trailer);

} // namespace tavrix
