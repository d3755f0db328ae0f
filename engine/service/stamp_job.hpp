// The working record of one file's run and the run itself.
#pragma once

#include <string>

#include "engine/service/call_options.hpp"
#include "engine/writer/output_file.hpp"
#include "engine/writer/pdf_writer.hpp"
#include "tavrix/stamp_settings.hpp"

namespace tavrix {

struct StampJob {
    std::string input;
    std::string output;
    // The job's own copy: the import file replaces startNumber, the rename step edits
    // renameoutput; nothing flows back into the instance's settings.
    StampSettings settings;
    // What the call's params text asks for (password, repair, ...).
    CallOptions options;
    // How the run writes its files and how large its output may grow (tests narrow these).
    OutputOptions outputOptions;
    int64_t offsetLimit = kMaxXrefOffset;
};

// Stamps job.input into job.output. On any failure the partial output is removed and
// CPdfException "Stamp file issue\r\n" is thrown, with the cause as its reason. The export file
// is written only once the output is in place.
void stampFile(StampJob& job);

// Progress lines go to standard output exactly as given.
void printProgress(const std::string& text);

} // namespace tavrix
