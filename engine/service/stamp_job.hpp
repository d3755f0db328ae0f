// The working record of one file's run and the run itself.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/pdf/input_file.hpp"
#include "engine/pdf/pdf_document.hpp"
#include "engine/service/call_options.hpp"
#include "engine/service/progress_sink.hpp"
#include "engine/writer/output_file.hpp"
#include "engine/writer/page_tree.hpp"
#include "engine/writer/pdf_writer.hpp"
#include "tavrix/stamp_settings.hpp"

namespace tavrix {

// What a finished run did, for callers that want more than success.
struct RunOutcome {
    uint32_t pageCount = 0; // the total the texts show
    int32_t startNumber = 0;
    // Numbers shown on the first and the last stamped page in page order (a reverse run shows
    // the larger one first); empty when no page was stamped.
    std::optional<int32_t> first, last;
    int32_t highest = 0;   // the run's highest shown number (0 when none was above 0)
    std::string finalPath; // where the output ended: the renamed path, or the output path
    // Damage the reader tolerated in the input, one line each ("object 12 at byte 3456: ...").
    std::vector<std::string> notes;
};

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
    // Where the run's progress goes; null: standard output.
    ProgressSink* progress = nullptr;
    // Filled as the run goes.
    RunOutcome outcome;
};

// A run whose output is written in full and waits to be put in place (see commitRun).
struct StagedRun {
    std::unique_ptr<OutputFile> out;
    std::shared_ptr<InputFile> input; // kept to learn, at commit, whether it changed meanwhile
    std::unique_ptr<OutputFile> exportFile;
};

// Stamps job.input into job.output. On any failure the partial output is removed and
// CPdfException "Stamp file issue\r\n" is thrown, with the cause as its reason. The export file
// is written only once the output is in place.
void stampFile(StampJob& job);

// stampFile in two steps, for callers that put outputs in place in an order of their own:
// stageRun does all the work short of touching the output's path; commitRun puts the output in
// place, renames it and writes the export file. Both fail as stampFile does; a staged run that
// is dropped without commitRun leaves nothing behind.
std::unique_ptr<StagedRun> stageRun(StampJob& job);
void commitRun(StampJob& job, std::unique_ptr<StagedRun> run);

// Opens the input as a run opens it: with the call's password and repair options. Throws
// CPdfException as the run would.
void openInput(PdfDocument& doc, const std::string& path, const CallOptions& options);
// Refuses an open input that a run may not change: an encrypted file opened with its user
// password whose permissions forbid changes (CPdfException, kind OwnerPasswordNeeded).
void checkChangesAllowed(const XrefTable& xref);
// The page list of an open input, read as a run reads it.
PageList readPageList(XrefTable& xref);

} // namespace tavrix
