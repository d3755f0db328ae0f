// The extension module tavrix._tavrix: the engine's core called directly (no registry, no
// automation runtime), the same code libtavrix.so runs. The GIL is released while a file is
// read or stamped, so Python threads stamp files in parallel; nothing is printed.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/failure_reason.hpp"
#include "engine/service/list_plan.hpp"
#include "engine/service/progress_sink.hpp"
#include "engine/service/stamp_job.hpp"
#include "engine/service/tavrix_com.hpp"
#include "python_api.hpp"
#include "tavrix/members.hpp"

namespace py = pybind11;

namespace tavrix::python {
namespace {

py::module_ types() {
    return py::module_::import("tavrix._types");
}

// A path as the system takes it: str, bytes or os.PathLike; names that are not UTF-8 are kept.
std::string pathBytes(const py::handle& path) {
    return py::module_::import("os").attr("fsencode")(path).cast<std::string>();
}

py::str pathText(const std::string& bytes) {
    return py::module_::import("os").attr("fsdecode")(py::bytes(bytes));
}

py::object optionalInt(const std::optional<int32_t>& value) {
    return value ? py::object(py::int_(*value)) : py::object(py::none());
}

// The engine's message ends in CR LF for automation callers; Python shows it without.
std::string shownMessage(std::string message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

// StampError.kind for a failure that another try could mend.
py::object kindName(FailureKind kind) {
    switch (kind) {
    case FailureKind::PasswordNeeded:
        return py::str("password");
    case FailureKind::OwnerPasswordNeeded:
        return py::str("owner-password");
    case FailureKind::RepairNeeded:
        return py::str("repair");
    case FailureKind::Other:
        break;
    }
    return py::none();
}

[[noreturn]] void raiseStampError(const CPdfException& failure, const std::string& path) {
    const std::string message = shownMessage(failure.getMessage());
    const py::object type = types().attr("StampError");
    const py::object error = type(failure.reason().empty() ? message : failure.reason(), message,
                                  pathText(path), kindName(failure.kind()));
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

CPdfException unexpected(const std::string& input, const std::string& output) {
    return CPdfException("Unexpected exception",
                         failureReason(std::current_exception(), input, output));
}

CallOptions callOptions(const std::optional<std::string>& password, bool repair) {
    CallOptions options;
    options.password = password;
    options.repair = repair;
    return options;
}

// Reports pages to a Python callable. An exception it raises stops the run and reaches the
// caller as itself.
class CallbackSink : public ProgressSink {
  public:
    // Made and destroyed with the GIL held.
    explicit CallbackSink(py::object callback) : callback_(std::move(callback)) {}
    void text(std::string_view) override {}
    void page(uint32_t done, uint32_t total) override {
        if (!active_) return;
        py::gil_scoped_acquire gil;
        try {
            callback_(done, total);
        } catch (py::error_already_set& e) {
            error_.emplace(std::move(e));
            active_ = false;
            throw Stopped{};
        }
    }
    // Raises the callback's exception, if it raised one (the GIL held).
    void raiseCallbackError() {
        if (!error_) return;
        py::error_already_set error = std::move(*error_);
        error_.reset();
        throw error;
    }

  private:
    struct Stopped {};
    py::object callback_;
    bool active_ = !callback_.is_none();
    std::optional<py::error_already_set> error_;
};

class Stamper {
  public:
    void set(const PropertyInfo& p, const py::handle& value) {
        const std::string name = snakeName(p.name);
        switch (p.type) {
        case PropertyType::Long: {
            if (!PyLong_Check(value.ptr()))
                throw py::type_error(name + " takes an int, not " + typeName(value));
            const long long v = value.cast<long long>();
            // Colours fill all 32 bits (0xFF000000 is a CMYK cyan), as on the command line.
            if (v < INT32_MIN || v > static_cast<long long>(UINT32_MAX))
                throw py::value_error(name + " must fit in 32 bits, got " + std::to_string(v));
            engine_.putLong(p.dispid, static_cast<int32_t>(static_cast<uint32_t>(v)));
            return;
        }
        case PropertyType::Flag:
            if (!PyLong_Check(value.ptr()))
                throw py::type_error(name + " takes a bool, not " + typeName(value));
            engine_.putLong(p.dispid, value.cast<long long>() != 0 ? 1 : 0);
            return;
        case PropertyType::Text:
        case PropertyType::StampText:
            break;
        }
        if (py::isinstance<py::str>(value)) {
            engine_.putText(p.dispid, value.cast<std::string>());
        } else if (py::hasattr(value, "__fspath__") || py::isinstance<py::bytes>(value)) {
            engine_.putText(p.dispid, pathBytes(value));
        } else {
            throw py::type_error(name + " takes a str, not " + typeName(value));
        }
    }

    py::object get(const PropertyInfo& p) const {
        const StampSettings& s = engine_.settings();
        return std::visit(
            [&](auto field) -> py::object {
                using Value = std::decay_t<decltype(s.*field)>;
                if constexpr (std::is_same_v<Value, std::string>) {
                    const std::string& text = p.original ? s.*(p.original) : s.*field;
                    return py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
                        text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape"));
                } else if constexpr (std::is_same_v<Value, bool>) {
                    return py::bool_(s.*field);
                } else {
                    return py::int_(s.*field);
                }
            },
            p.field);
    }

    // The settings that differ from a new Stamper's, by keyword.
    py::dict changes() const {
        static const Stamper fresh;
        py::dict out;
        for (const PropertyInfo& p : tavrixProperties()) {
            py::object mine = get(p);
            if (!mine.equal(fresh.get(p))) out[py::str(snakeName(p.name))] = mine;
        }
        return out;
    }

    void setAll(const py::dict& settings) {
        for (const auto& [key, value] : settings)
            set(requireSetting(key.cast<std::string>()), value);
    }

    const StampSettings& settings() const { return engine_.settings(); }

    static const PropertyInfo& requireSetting(const std::string& name) {
        if (const PropertyInfo* p = findSetting(name)) return *p;
        std::string hint;
        if (const PropertyInfo* p = findProperty(name))
            hint = "; did you mean '" + snakeName(p->name) + "'?";
        throw py::type_error("unknown setting '" + name + "'" + hint +
                             " (help(tavrix.Stamper) lists them)");
    }

  private:
    static std::string typeName(const py::handle& value) {
        return py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
    }

    TavrixCom engine_;
};

py::object stamp(const Stamper& stamper, const py::object& input, const py::object& output,
                 const std::optional<std::string>& password, bool repair, bool incremental,
                 const py::object& progress) {
    StampJob job;
    job.input = pathBytes(input);
    job.output = pathBytes(output);
    job.settings = stamper.settings();
    job.options = callOptions(password, repair);
    job.options.incremental = incremental;
    CallbackSink sink(progress);
    job.progress = &sink;
    std::optional<CPdfException> failure;
    {
        py::gil_scoped_release released;
        try {
            stampFile(job);
        } catch (const CPdfException& e) {
            failure = e;
        } catch (...) {
            failure = unexpected(job.input, job.output);
        }
    }
    sink.raiseCallbackError();
    if (failure) raiseStampError(*failure, job.input);
    const RunOutcome& o = job.outcome;
    return types().attr("StampResult")(pathText(job.input), pathText(o.finalPath), o.pageCount,
                                       o.startNumber, optionalInt(o.first), optionalInt(o.last),
                                       static_cast<int32_t>(static_cast<uint32_t>(o.highest) + 1u));
}

PageSurvey surveyFile(const py::object& path, const std::optional<std::string>& password,
                      bool repair, bool forStamping = true) {
    const std::string bytes = pathBytes(path);
    std::optional<CPdfException> failure;
    PageSurvey survey;
    {
        py::gil_scoped_release released;
        try {
            survey = surveyPages(bytes, callOptions(password, repair), forStamping);
        } catch (const CPdfException& e) {
            failure = e;
        } catch (...) {
            failure = unexpected(bytes, "");
        }
    }
    if (failure) raiseStampError(*failure, bytes);
    return survey;
}

py::object surveyObject(const PageSurvey& survey) {
    py::tuple positions(survey.positions.size());
    for (size_t i = 0; i < survey.positions.size(); ++i)
        positions[i] = py::int_(survey.positions[i]);
    return types().attr("PageSurvey")(survey.pageCount, positions);
}

SurveyResult surveyFromObject(const py::handle& item) {
    SurveyResult result;
    if (item.is_none()) {
        result.reason = "the file was not surveyed";
    } else if (py::isinstance(item, types().attr("PageSurvey"))) {
        PageSurvey survey;
        survey.pageCount = item.attr("pages").cast<uint32_t>();
        survey.positions = item.attr("positions").cast<std::vector<int32_t>>();
        result.survey = std::move(survey);
    } else if (py::isinstance(item, py::module_::import("builtins").attr("BaseException"))) {
        result.reason = py::str(py::getattr(item, "reason", py::str(item))).cast<std::string>();
    } else {
        throw py::type_error("surveys holds PageSurvey objects, exceptions or None");
    }
    return result;
}

py::list plan(const py::iterable& files, const Stamper& stamper,
              const std::optional<std::string>& password, bool repair, const py::object& surveys,
              std::optional<unsigned> jobs) {
    std::vector<std::string> paths;
    for (const py::handle file : files)
        paths.push_back(pathBytes(file));
    const StampSettings settings = stamper.settings();
    const CallOptions options = callOptions(password, repair);
    std::vector<SurveyResult> results;
    if (!surveys.is_none()) {
        for (const py::handle item : surveys)
            results.push_back(surveyFromObject(item));
        if (results.size() != paths.size())
            throw py::value_error("surveys must hold one entry per file");
    }
    std::optional<NumberChain> chain;
    std::optional<CPdfException> failure;
    {
        py::gil_scoped_release released;
        try {
            chain = listNumbering(settings);
            if (surveys.is_none()) {
                const unsigned workers =
                    std::clamp(jobs.value_or(std::thread::hardware_concurrency()), 1u, kMaxJobs);
                results = surveyFiles(paths, options, workers);
            }
        } catch (const CPdfException& e) {
            failure = e;
        } catch (...) {
            failure = unexpected(settings.importit, "");
        }
    }
    if (failure) raiseStampError(*failure, settings.importit);
    const std::vector<PlannedFile> planned = planList(settings, *chain, results);
    py::list out;
    const py::object type = types().attr("PlannedFile");
    for (size_t i = 0; i < planned.size(); ++i) {
        const PlannedFile& f = planned[i];
        out.append(type(pathText(paths[i]), f.start, optionalInt(f.span.first),
                        optionalInt(f.span.last),
                        f.opens ? py::object(py::int_(f.pageCount)) : py::object(py::none()),
                        optionalInt(f.counter),
                        f.opens ? py::object(py::none()) : py::object(py::str(f.reason))));
    }
    return out;
}

const char* const kStamperDoc = R"(Stamper(**settings)

The settings of a stamp: which pages, which numbers, the text around them, font, colour,
opacity, angle and position, a counter file and a rename pattern. Each setting is a keyword
of the constructor and an attribute; unset ones keep their defaults. stamp() applies them to
one file; the same Stamper can stamp any number of files, from any number of threads.

    s = tavrix.Stamper(prefix="Bates ", one_page_no=True, sep="", mask=6)
    s.start_number = 1000
    result = s.stamp("in.pdf", "out.pdf")     # result.first, result.last, result.output

Texts are taken as given (UTF-8); texts outside Windows-1252 embed an installed font.
Settings (name: type = default, meaning):
)";

} // namespace
} // namespace tavrix::python

PYBIND11_MODULE(_tavrix, m) {
    using namespace tavrix;
    using namespace tavrix::python;
    m.doc() = "The Tavrix stamping engine, called directly; use the tavrix package.";
    m.attr("__version__") = TAVRIX_VERSION;

    static const std::string stamperDoc = std::string(kStamperDoc) + settingsDoc();
    py::class_<Stamper> cls(m, "Stamper", stamperDoc.c_str());
    cls.def(py::init([](const py::kwargs& settings) {
                auto s = std::make_unique<Stamper>();
                s->setAll(settings);
                return s;
            }),
            "Stamper(**settings): one keyword per setting (see the class help).");
    for (const PropertyInfo& p : tavrixProperties()) {
        const PropertyInfo* info = &p;
        const std::string doc = std::string(pythonType(p)) + ", default " + pythonDefault(p) +
                                ": " + std::string(p.meaning);
        cls.def_property(
            snakeName(p.name).c_str(), [info](const Stamper& s) { return s.get(*info); },
            [info](Stamper& s, const py::handle& value) { s.set(*info, value); }, doc.c_str());
    }
    cls.def(
        "copy",
        [](const Stamper& s, const py::kwargs& changes) {
            auto copy = std::make_unique<Stamper>(s);
            copy->setAll(changes);
            return copy;
        },
        "copy(**changes) -> Stamper: the same settings, with `changes` applied.");
    cls.def(
        "stamp", &stamp, py::arg("input"), py::arg("output"), py::kw_only(),
        py::arg("password") = py::none(), py::arg("repair") = false, py::arg("incremental") = false,
        py::arg("progress") = py::none(),
        R"(stamp(input, output, *, password=None, repair=False, incremental=False, progress=None) -> StampResult

Stamps the PDF file `input` into `output` (str, bytes or os.PathLike; they may name the same
file). `password` opens a protected file, `repair` rebuilds damaged cross-reference data.
`incremental` keeps the input's bytes and appends the stamps as an update (a signature stays
valid for what it signed).
`progress(pages_done, pages_total)` is called as pages are met; an exception it raises stops
the run and is raised here. Raises StampError, with the reason, when the file cannot be
stamped; nothing is written then. A counter file (importit/exportit) and the rename pattern
work as on the command line. The GIL is released while the file is stamped.)");
    cls.def("__repr__", [](const Stamper& s) {
        std::string text = "tavrix.Stamper(";
        bool first = true;
        for (const auto& [key, value] : s.changes()) {
            text += (first ? "" : ", ") + key.cast<std::string>() + "=" +
                    py::repr(value).cast<std::string>();
            first = false;
        }
        return text + ")";
    });
    cls.def(py::pickle([](const Stamper& s) { return s.changes(); },
                       [](const py::dict& settings) {
                           Stamper s;
                           s.setAll(settings);
                           return s;
                       }));

    m.def(
        "page_count",
        [](const py::object& path, const std::optional<std::string>& password, bool repair) {
            // Counting pages changes nothing: a file that forbids changes is counted.
            return surveyFile(path, password, repair, false).pageCount;
        },
        py::arg("path"), py::kw_only(), py::arg("password") = py::none(), py::arg("repair") = false,
        "page_count(path, *, password=None, repair=False) -> int: the page total of a PDF file "
        "(the total its stamps show). Raises StampError when it does not open.");
    m.def(
        "survey",
        [](const py::object& path, const std::optional<std::string>& password, bool repair) {
            return surveyObject(surveyFile(path, password, repair));
        },
        py::arg("path"), py::kw_only(), py::arg("password") = py::none(), py::arg("repair") = false,
        R"(survey(path, *, password=None, repair=False) -> PageSurvey

What plan() needs to know of one file, read where the file is (a cluster worker, say). Raises
StampError when the file does not open.)");
    m.def(
        "plan", &plan, py::arg("files"), py::arg("stamper"), py::kw_only(),
        py::arg("password") = py::none(), py::arg("repair") = false,
        py::arg("surveys") = py::none(), py::arg("jobs") = py::none(),
        R"(plan(files, stamper, *, password=None, repair=False, surveys=None, jobs=None) -> list[PlannedFile]

The numbers each file gets when the files are stamped one after another with `stamper`, in
the order given: with importit and exportit naming one counter file, each file starts where
the last successful file before it left the counter; a file that does not open moves no
number. Stamp each file with stamper.copy(start_number=f.start, importit="", exportit=""),
in any order, and write the last file's `counter` into the counter file at the end.

Each file is opened and its page list read, on `jobs` threads (default: one per core), unless
`surveys` gives one survey() result per file (or the StampError its survey raised, or None).
Raises StampError when the import file cannot be read.)");
}
