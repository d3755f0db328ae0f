#include "engine/service/stamp_job.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <random>
#include <utility>

#include "engine/fonts/font_metrics.hpp"
#include "engine/fonts/font_objects.hpp"
#include "engine/pdf/data_file.hpp"
#include "engine/pdf/pdf_document.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/raw_object.hpp"
#include "engine/service/ansi_text.hpp"
#include "engine/service/failure_reason.hpp"
#include "engine/service/job_steps.hpp"
#include "engine/text/number_text.hpp"
#include "engine/writer/output_file.hpp"
#include "engine/writer/page_patcher.hpp"
#include "engine/writer/page_tree.hpp"
#include "engine/writer/pdf_writer.hpp"
#include "engine/writer/stamp_content.hpp"
#include "engine/writer/unicode_stamp.hpp"
#include "engine/writer/update_section.hpp"

namespace tavrix {
namespace {

// What reading an object or a page counts against the input's resident budget
// (kResidentBudget), beside its own bytes: the mapping around it that the read brings in.
constexpr size_t kBytesPerObject = 64 * 1024;
constexpr size_t kReadAheadBytes = 256 * 1024;
// Objects this large (images, fonts) are read from the file into the output buffer instead of
// through the mapping: their data is never looked at, only copied.
constexpr size_t kReadBytes = 16 * 1024;

// Object streams are dropped from the output: their members are written as plain objects.
// Only the dictionary's own /Type counts, so stream data or a string that spells it is copied.
bool isObjectStream(std::string_view text) {
    // Only a stream can be one; the keyword cannot be spelt otherwise, so objects without the
    // word are passed over unscanned (a plain search: most objects are a few dozen bytes, too
    // short for memmem's set-up to pay).
    if (text.find("stream") == std::string_view::npos) return false;
    const Value dict = objectValue(text);
    if (dict.kind != ValueKind::Dict) return false;
    const std::optional<DictEntry> type = findEntry(text, dict.begin, "Type");
    return type && type->value.kind == ValueKind::Name &&
           nameEquals(type->value.in(text), "ObjStm");
}

// The input's header bytes: everything before the first object (the "%PDF-" line, the binary
// comment, and any older revision that precedes the lowest current offset).
void writeHeaderCopy(PdfWriter& writer, XrefTable& xref) {
    const auto& entries = xref.entries();
    int64_t lowest = -1;
    for (size_t i = 1; i < entries.size(); ++i) {
        const XrefEntry& e = entries[i];
        if (e.type != XrefType::InUse || e.offset <= 0) continue;
        if (lowest < 0 || e.offset < lowest) lowest = e.offset;
    }
    const std::string_view file = xref.file()->view();
    const size_t start = static_cast<size_t>(xref.headerShift());
    if (lowest < 0) {
        // No object to measure from: the header line alone keeps the output well-formed.
        const size_t eol = file.find_first_of("\r\n", start);
        writer.write(file.substr(start, eol == std::string_view::npos ? 0 : eol + 1 - start));
        return;
    }
    writer.write(file.substr(start, static_cast<size_t>(lowest)));
}

// The trailer entries that keep an encrypted output readable with the input's keys: its
// /Encrypt dictionary (a reference to the copied object, or the dictionary as written) and its
// /ID, from which the keys of the older revisions are made. Empty for a file that is not
// encrypted: its trailer is the plain one.
std::string encryptionEntries(XrefTable& xref) {
    if (!xref.security()) return {};
    std::string text;
    std::string_view file;
    const PdfObject encrypt = xref.trailer().getDict()->lookupRaw("Encrypt");
    if (encrypt.isRef()) {
        const int32_t num = encrypt.getRefNum();
        const XrefEntry& e = xref.entries()[static_cast<size_t>(num)];
        text += "/Encrypt " + std::to_string(num) + " " +
                std::to_string(e.type == XrefType::InUse ? e.gen : 0) + " R\n";
    } else if (const std::optional<Value> v = directTrailerEntry(xref, "Encrypt", file);
               v && v->kind == ValueKind::Dict) {
        text += "/Encrypt " + std::string(v->in(file)) + "\n";
    }
    if (const std::optional<Value> v = directTrailerEntry(xref, "ID", file);
        v && v->kind == ValueKind::Array)
        text += "/ID " + std::string(v->in(file)) + "\n";
    return text;
}

// The input's bytes as they are, for an update to follow.
void copyInput(PdfWriter& writer, OutputFile& out, XrefTable& xref) {
    const InputFile& file = *xref.file();
    const auto size = static_cast<int64_t>(file.size());
    out.copyFrom(file.fd(), 0, size);
    writer.beginUpdate(xref.headerShift(), size > 0 ? file.view().back() : '\n');
}

// The one table of a rewrite and its trailer.
void writeRewriteEnd(PdfWriter& writer, XrefTable& xref) {
    const int64_t xrefOffset = writer.position();
    writer.writeXrefSection();
    const auto& rootEntry = xref.entries()[static_cast<size_t>(xref.rootNum())];
    const int32_t rootGen = rootEntry.type == XrefType::InUse ? rootEntry.gen : 0;
    int32_t infoGen = 0;
    if (xref.infoNum() > 0 && static_cast<size_t>(xref.infoNum()) < xref.entries().size()) {
        const auto& infoEntry = xref.entries()[static_cast<size_t>(xref.infoNum())];
        infoGen = infoEntry.type == XrefType::InUse ? infoEntry.gen : 0;
    }
    writer.writeTrailer(xrefOffset, xref.rootNum(), rootGen, xref.infoNum(), infoGen,
                        directTrailerDict(xref, "Info"), encryptionEntries(xref));
}

// An update's trailer: the input's own keys, chained to its newest section.
UpdateTrailer updateTrailer(XrefTable& xref) {
    const NewestTrailer newest = findNewestTrailer(xref);
    UpdateTrailer t;
    t.stream = newest.stream;
    t.prev = xref.trailerSection();
    t.root = trailerValueText(xref, newest, "Root");
    if (t.root.empty())
        t.root = std::to_string(xref.rootNum()) + " " + std::to_string(xref.rootGen()) + " R";
    t.info = trailerValueText(xref, newest, "Info");
    t.id = trailerValueText(xref, newest, "ID");
    t.encrypt = trailerValueText(xref, newest, "Encrypt");
    return t;
}

// Resource names are "F" or "GS" followed by a number drawn from a generator seeded with the
// clock; each job has its own generator so that jobs on two threads never share one.
int32_t resourceNumber() {
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    const auto seconds = duration_cast<std::chrono::seconds>(now).count();
    const auto millis = static_cast<int32_t>(duration_cast<milliseconds>(now).count() % 1000);
    std::minstd_rand generator(static_cast<uint32_t>(seconds + millis));
    return static_cast<int32_t>(generator() % 32768) + millis;
}

// The settings with the stamped texts as the caller gave them, when Windows-1252 cannot hold
// them; nullopt when it can (the numbers are ASCII whatever the settings), and the run writes
// its texts in WinAnsiEncoding as ever.
std::optional<StampSettings> unicodeSettings(const StampSettings& settings) {
    StampSettings texts = settings;
    texts.prefix = originalText(settings.prefix, settings.prefixUtf8);
    texts.sep = originalText(settings.sep, settings.sepUtf8);
    texts.end = originalText(settings.end, settings.endUtf8);
    if (fitsWindows1252(texts.prefix) && fitsWindows1252(texts.sep) && fitsWindows1252(texts.end))
        return std::nullopt;
    return texts;
}

class CopyPass {
  public:
    CopyPass(StampJob& job, XrefTable& xref, PdfWriter& writer, const PageList& pages,
             const RunResources& resources, const UnicodeStamp* unicode, ProgressSink& progress)
        : job_(job), xref_(xref), writer_(writer), pages_(pages), resources_(resources),
          unicode_(unicode), progress_(progress) {}

    void run() {
        if (writer_.layout() == Layout::Update) {
            runUpdate();
            return;
        }
        const auto& entries = xref_.entries();
        size_t sinceDrop = 0;
        // Object 0 heads the free list and is never a real object.
        for (size_t i = 1; i < entries.size(); ++i) {
            const int32_t num = static_cast<int32_t>(i);
            const XrefEntry e = entries[i];
            if (e.type == XrefType::Free || writer_.isWritten(num)) continue;
            RawObject raw = readRawObject(xref_, num);
            if (raw.empty()) {
                xref_.diagnostics().add(num, e.type == XrefType::InUse ? e.offset : -1,
                                        "the object cannot be read and is left out");
                continue;
            }
            if (isObjectStream(raw.bytes())) continue;
            writer_.setOffset(num, writer_.position());
            const int64_t slot = pages_.slotOf(num);
            const int32_t gen = e.type == XrefType::InUse ? e.gen : 0;
            // A repaired file comes out sound: a stream whose /Length does not end at its data
            // gets the length the data has, as readers measure it.
            std::optional<std::string> mended;
            if (job_.options.repair && slot < 0) mended = streamLengthMended(xref_, raw.bytes());
            if (mended)
                writer_.writeObjectText(num, gen, *mended, readAs(num, raw));
            else if (slot >= 0)
                handlePage(num, static_cast<size_t>(slot), raw);
            else if (raw.fileOffset() >= 0 && raw.bytes().size() >= kReadBytes)
                writer_.writeFromFile(xref_.file()->fd(), raw.fileOffset(), raw.bytes());
            else
                writer_.writeObjectText(num, gen, raw.bytes(), readAs(num, raw));
            writer_.setWritten(num, gen);
            // Every read maps a little of the file around it (a page's content stream while
            // patching, say), so objects count as well as bytes.
            sinceDrop += raw.bytes().size() + kBytesPerObject;
            if (sinceDrop > kResidentBudget) {
                xref_.file()->dropResidentPages();
                sinceDrop = 0;
            }
        }
        const auto total = static_cast<uint32_t>(pages_.slots().size());
        if (pagesMet_ != total) progress_.page(total, total);
    }

    // An update holds the stamped pages only, with what they need; every other object stays
    // where the input's bytes have it. Pages are met in object-number order, as in a rewrite,
    // so that the new objects are numbered alike.
    void runUpdate() {
        std::vector<int32_t> order;
        order.reserve(pages_.slots().size());
        for (const PageSlot& slot : pages_.slots())
            order.push_back(slot.num);
        std::sort(order.begin(), order.end());
        order.erase(std::unique(order.begin(), order.end()), order.end());
        size_t sinceDrop = 0;
        for (const int32_t num : order) {
            if (num <= 0 || static_cast<size_t>(num) >= xref_.entries().size() ||
                writer_.isWritten(num))
                continue;
            RawObject raw = readRawObject(xref_, num);
            if (raw.empty()) {
                const XrefEntry& e = xref_.entries()[static_cast<size_t>(num)];
                xref_.diagnostics().add(num, e.type == XrefType::InUse ? e.offset : -1,
                                        "the page cannot be read and is left as it is");
                continue;
            }
            handlePage(num, static_cast<size_t>(pages_.slotOf(num)), raw);
            // Pages lie far apart in the file, and the kernel reads ahead around each one as
            // if the reading went on: each page is counted as a read-ahead window.
            if ((sinceDrop += kReadAheadBytes) > kResidentBudget) {
                xref_.file()->dropResidentPages();
                sinceDrop = 0;
            }
        }
        const auto total = static_cast<uint32_t>(pages_.slots().size());
        if (pagesMet_ != total) progress_.page(total, total);
    }

    int32_t highest() const { return highest_; }
    // Numbers on the first and the last stamped page, in page order.
    std::optional<int32_t> first() const { return first_.number; }
    std::optional<int32_t> last() const { return last_.number; }

  private:
    // An object read from the file is encrypted (when the file is) for its own number and
    // generation; a member of an object stream is not encrypted by itself.
    std::optional<ObjectKey> readAs(int32_t num, const RawObject& raw) const {
        if (raw.fileOffset() < 0) return std::nullopt;
        return ObjectKey{num, xref_.entries()[static_cast<size_t>(num)].gen};
    }

    // A stamped page's position and number.
    struct Shown {
        int32_t position = 0;
        std::optional<int32_t> number;
    };

    void handlePage(int32_t num, size_t slot, const RawObject& raw) {
        // A dot at every sixth page met, stamped or not.
        if (++dots_ > 10) {
            progress_.text(".");
            dots_ = 0;
        }
        ++dots_;
        progress_.page(std::min(++pagesMet_, static_cast<uint32_t>(pages_.slots().size())),
                       static_cast<uint32_t>(pages_.slots().size()));
        const int32_t p = static_cast<int32_t>(slot + 1);
        const std::optional<int32_t> n =
            shownNumber(job_.settings, p, pages_.pageCount(), highest_);
        if (!n) {
            // An update leaves an unstamped page where the input has it.
            if (writer_.layout() == Layout::Rewrite) {
                const std::optional<ObjectKey> key = readAs(num, raw);
                writer_.writeObjectText(num, key ? key->gen : 0, raw.bytes(), key);
            }
            return;
        }
        if (!first_.number || p < first_.position) first_ = {p, n};
        if (!last_.number || p > last_.position) last_ = {p, n};
        const PageSlot& pageSlot = pages_.slots()[slot];
        const int32_t q = writer_.appendObject(buildSaveStateStream());
        int32_t s = 0;
        if (unicode_) {
            const Placement at =
                placeStamp(job_.settings, pageSlot.box, pageSlot.rotate, unicode_->width(slot));
            s = writer_.appendObject(
                buildStampStream(job_.settings, at, resources_.gsName, unicode_->showText(slot)));
        } else {
            stampText_ = composeStampText(job_.settings, *n, pages_.pageCount());
            const Placement at =
                placeStamp(job_.settings, pageSlot.box, pageSlot.rotate, stampText_);
            s = writer_.appendObject(buildStampStream(job_.settings, at, resources_.gsName,
                                                      resources_.fontName, stampText_));
        }
        PagePatcher patcher(xref_, writer_, resources_);
        patcher.patchPage(num, raw.bytes(), q, s);
    }

    StampJob& job_;
    XrefTable& xref_;
    PdfWriter& writer_;
    const PageList& pages_;
    const RunResources& resources_;
    const UnicodeStamp* unicode_;
    ProgressSink& progress_;
    int dots_ = 0;
    uint32_t pagesMet_ = 0;
    int32_t highest_ = 0;
    Shown first_, last_;
    std::string stampText_;
};

// A path that holds a NUL byte (an automation client can pass one) would be cut there by the
// system and name another file: such a job fails before it opens anything.
void checkPaths(const StampJob& job) {
    const std::pair<const char*, const std::string*> paths[] = {
        {"input path", &job.input},
        {"output path", &job.output},
        {"import file name", &job.settings.importit},
        {"export file name", &job.settings.exportit},
        {"fonts file name", &job.settings.fontfile},
        {"rename pattern", &job.settings.renameoutput},
    };
    for (const auto& [what, path] : paths) {
        if (holdsNul(*path)) {
            throw CPdfException("Can't open file",
                                std::string("the ") + what + " holds a NUL character after '" +
                                    path->c_str() + "'; a file name cannot hold one");
        }
    }
}

// The rename step moves the finished output over whatever file stands at the new name, but never
// moves a device or FIFO (an output written directly), nor over one, nor over a folder: a name
// such as /dev/null is a node the whole system uses.
bool renameOutput(const std::string& from, const std::string& to) {
    const auto movable = [](const std::string& path, bool mustExist) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return !mustExist;
        return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
    };
    if (!movable(from, true) || !movable(to, false)) return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

// The output is put in place, renamed, and the counter written; the run's guard as in
// stageRun.
void finishRun(StampJob& job, StagedRun& run, ProgressSink& progress) {
    // The last moment a changed input can stop the run: from here on the output may replace it
    // (an output that names the input itself).
    if (run.input->changed()) throw CPdfException("Input file changed", kInputChangedReason);
    run.input.reset();
    run.out->commit();
    run.out.reset();
    job.outcome.finalPath = job.output;
    if (!job.settings.renameoutput.empty()) {
        const std::string target =
            renamedPath(job.output, job.settings.renameoutput, job.settings.mask,
                        job.settings.startNumber, job.outcome.highest);
        // A pattern that names the output itself leaves the finished file where it is.
        if (target != job.output) {
            progress.text("\nRenaming output file: '" + job.output + "' to '" + target + "'\n");
            if (renameOutput(job.output, target))
                job.outcome.finalPath = target;
            else
                progress.text("Unable to rename file, check permissions, file naming\n");
        }
    }
    if (run.exportFile) run.exportFile->commit();
}

// Every failure of a run ends here: the partial output goes, and the caller learns the cause.
[[noreturn]] void failRun(const StampJob& job, StagedRun& run) {
    if (run.out) run.out->discard();
    run.exportFile.reset();
    // A read that went wrong because the file was cut short under it is reported as that.
    const bool changed = run.input && run.input->changed();
    const std::exception_ptr error =
        changed ? std::make_exception_ptr(CPdfException("Input file changed", kInputChangedReason))
                : std::current_exception();
    throw CPdfException("Stamp file issue\r\n", failureReason(error, job.input, job.output),
                        failureKind(error));
}

} // namespace

namespace {

// Whether the page tree reads whole through the cross-reference data: its root, and every kid.
bool pageTreeWhole(XrefTable& xref) {
    try {
        return readPageList(xref).skippedKids().empty();
    } catch (const CPdfException&) {
        return false;
    }
}

} // namespace

void openInput(PdfDocument& doc, const std::string& path, const CallOptions& options) {
    OpenOptions open{options.password, options.repair};
    doc.openDocument(path, open);
    // Data that reads well may still leave out what the pages need (a Prev chain cut short by
    // a loop, an object no section lists): with repair, it is rebuilt then too.
    if (options.repair && !doc.xref().rebuilt() && !pageTreeWhole(doc.xref())) {
        open.rebuild = true;
        doc.openDocument(path, open);
        doc.xref().diagnostics().add(-1, -1,
                                     "the cross-reference data leaves out objects of the page "
                                     "tree; it was rebuilt");
    }
}

void checkChangesAllowed(const XrefTable& xref) {
    const SecurityHandler* security = xref.security();
    if (security && !security->mayModify())
        throw CPdfException("PDF file is encrypted",
                            "{input} does not allow changes without its owner password",
                            FailureKind::OwnerPasswordNeeded);
}

PageList readPageList(XrefTable& xref) {
    if (xref.rootNum() < 0 || static_cast<size_t>(xref.rootNum()) >= xref.entries().size())
        throw CPdfException("PDF file was damaged");
    const RawObject catalog = readRawObject(xref, xref.rootNum());
    if (catalog.empty())
        xref.unreadable(xref.rootNum(), "PDF file was damaged",
                        "{input} is damaged: its catalog cannot be read");
    PageList pages;
    pages.build(xref, catalog.bytes());
    return pages;
}

namespace {

// Keeps what the reader tolerated in the input before the document goes, on success and on
// failure alike, and hands it to the progress sink when the call asked for it.
class NoteKeeper {
  public:
    NoteKeeper(StampJob& job, PdfDocument& doc, ProgressSink& progress)
        : job_(job), doc_(doc), progress_(progress) {}
    ~NoteKeeper() { keep(); }
    NoteKeeper(const NoteKeeper&) = delete;
    NoteKeeper& operator=(const NoteKeeper&) = delete;
    void keep() {
        if (kept_ || !doc_.isOpen()) return;
        kept_ = true;
        job_.outcome.notes = doc_.xref().diagnostics().lines();
        if (!job_.options.verbose) return;
        for (const std::string& line : job_.outcome.notes)
            progress_.note(quotedPath(job_.input) + ": " + line);
    }

  private:
    StampJob& job_;
    PdfDocument& doc_;
    ProgressSink& progress_;
    bool kept_ = false;
};

} // namespace

std::unique_ptr<StagedRun> stageRun(StampJob& job) {
    auto run = std::make_unique<StagedRun>();
    ProgressSink& progress = job.progress ? *job.progress : standardOutput();
    job.outcome = RunOutcome{};
    try {
        checkPaths(job);
        progress.text("Input file: '" + job.input + "'");
        PdfDocument doc;
        NoteKeeper notes(job, doc, progress);
        openInput(doc, job.input, job.options);
        run->input = doc.file();
        XrefTable& xref = doc.xref();
        checkChangesAllowed(xref);
        // An update's /Prev must lead to sections a reader can follow; a rebuilt file has none.
        if (job.options.incremental && xref.rebuilt())
            throw CPdfException("PDF file was damaged",
                                "{input}: its cross-reference data had to be rebuilt, so the "
                                "stamps cannot be appended as an update; stamp it without "
                                "--incremental");

        run->out = std::make_unique<OutputFile>(job.output, job.outputOptions);
        progress.text(", output file: '" + job.output + "'\n");
        progress.text("Processing");
        const PageList pages = readPageList(xref);
        // The walk touched every page object across the file; the pass reads them again later.
        xref.file()->dropResidentPages();
        job.outcome.pageCount = pages.pageCount();
        // The table is made once at its full size (the input's objects, then the run's shared
        // objects, two streams a page, a few fonts, a cross-reference stream): growing it
        // would hold two copies at once.
        PdfWriter writer(*run->out, xref.entries().size(), 2 * pages.slots().size() + 16,
                         job.offsetLimit);
        // An encrypted input's output keeps its protection: same /Encrypt, same keys.
        if (xref.security()) writer.setEncryption(*xref.security(), xref.encryptNum());
        if (job.options.incremental)
            copyInput(writer, *run->out, xref);
        else
            writeHeaderCopy(writer, xref);

        progress.text(loadFontsFile(job.settings.fontfile));
        RunResources resources;
        resources.fontName = "F" + std::to_string(resourceNumber());
        std::optional<StampSettings> texts = unicodeSettings(job.settings);
        std::unique_ptr<UnicodeStamp> unicode;
        if (!texts) {
            const int32_t descriptor = writer.appendObject(fontDescriptorText(job.settings.font));
            resources.fontNum = writer.appendObject(
                fontObjectText(job.settings.font, resources.fontName, descriptor));
        } else {
            // Every page's text is shaped before the fonts are written, so the number the run
            // starts from is needed first.
            if (!job.settings.importit.empty())
                texts->startNumber = job.settings.startNumber =
                    readImportNumber(job.settings.importit);
            unicode = std::make_unique<UnicodeStamp>(texts->font, texts->fontSize,
                                                     pageTexts(*texts, pages));
            unicode->appendFonts(
                [&writer](std::string_view text) { return writer.appendObject(text); }, resources);
        }
        resources.gsName = "GS" + std::to_string(resourceNumber());
        resources.gsNum = writer.appendObject(buildOpacityState(job.settings.opacity));

        if (!job.settings.importit.empty() && !unicode)
            job.settings.startNumber = readImportNumber(job.settings.importit);
        job.outcome.startNumber = job.settings.startNumber;

        CopyPass pass(job, xref, writer, pages, resources, unicode.get(), progress);
        pass.run();
        job.outcome.highest = pass.highest();
        job.outcome.first = pass.first();
        job.outcome.last = pass.last();
        // What follows writes tables only: the decoded object streams are not needed again.
        xref.releaseObjectStreams();

        if (job.options.incremental)
            writeUpdateSection(writer, updateTrailer(xref));
        else
            writeRewriteEnd(writer, xref);
        notes.keep();
        doc.closeDocument();

        // The counter is written last, once the output is in place, so a run that fails never
        // advances it; it is made ready first, so a counter that cannot be written stops the
        // run before the output is touched.
        const int32_t next = static_cast<int32_t>(static_cast<uint32_t>(pass.highest()) + 1u);
        if (!job.settings.exportit.empty())
            run->exportFile = stageExportNumber(job.settings.exportit, next, job.outputOptions);
        run->out->stage();
        // A staged run may wait for its turn: what it read need not stay in memory meanwhile.
        run->input->dropResidentPages();
    } catch (...) {
        failRun(job, *run);
    }
    return run;
}

void commitRun(StampJob& job, std::unique_ptr<StagedRun> run) {
    ProgressSink& progress = job.progress ? *job.progress : standardOutput();
    try {
        finishRun(job, *run, progress);
    } catch (...) {
        failRun(job, *run);
    }
}

void stampFile(StampJob& job) {
    commitRun(job, stageRun(job));
}

} // namespace tavrix
