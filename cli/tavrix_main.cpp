// tavrix: stamps page numbers onto PDF files from the command line.
//   tavrix [--jobs [N]] [--incremental] [--verbose] [--password TEXT] [--repair]
//          [--NAME VALUE | --NAME=VALUE]... INPUT OUTPUT [PARAMS]
//   tavrix --register [LIBRARY] | --unregister [LIBRARY]
// The engine is reached only through the automation runtime: it is created by its ProgID, each
// --NAME is bound with IDispatch::GetIDsOfNames and set with IDispatch::Invoke, and getTavrixFile
// is called through its slot of ITavrixCom.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "tavrix/call_params.hpp"
#include "tavrix/members.hpp"
#include "tavrix/tavrix_com_interface.hpp"
#include "tavrixrt/com_ptr.hpp"
#include "tavrixrt/registry.hpp"

namespace {

using tavrix::PropertyInfo;
using tavrix::PropertyType;
using tavrixrt::Bstr;
using tavrixrt::ComPtr;

constexpr int kRunFailed = 1;
constexpr int kUsageError = 2;
constexpr int kAutomationError = 3;

struct Setting {
    const PropertyInfo* property;
    std::string value;
};

bool takesInteger(const PropertyInfo& p) {
    return p.type == PropertyType::Long || p.type == PropertyType::Flag;
}

void printHelp() {
    std::printf(
        "Usage: tavrix [--jobs [N]] [--incremental] [--verbose] [--password TEXT] [--repair]\n"
        "              [--NAME VALUE | --NAME=VALUE]... INPUT OUTPUT [PARAMS]\n"
        "\n"
        "Stamps page numbers or a short label onto every selected page of INPUT and writes\n"
        "the result to OUTPUT. Options are applied in the order given.\n"
        "\n"
        "File lists: when INPUT ends in \".txt\", each line names one input PDF, and OUTPUT\n"
        "is a switch: \"-fFOLDER\" writes each file into FOLDER under its listed name,\n"
        "\"-oPATH\" writes every file to PATH (use --renameoutput to keep them apart).\n"
        "  --jobs [N]    run a list on N threads (no N: one per core) with the numbers, outputs\n"
        "                and standard output of a run one file after another; a counter named\n"
        "                by --exportit is written once, at the end\n"
        "On a terminal a list shows a progress bar on standard error.\n"
        "  --incremental keep INPUT's bytes unchanged and append the stamps as an update (a\n"
        "                signed file keeps its signature valid for what it signed; a\n"
        "                linearized file's output need not stay linearized; a file whose\n"
        "                cross-reference data has to be rebuilt cannot be updated)\n"
        "  --verbose     also say, on standard error, what damage in a file was passed over\n"
        "                (\"tavrix: warning: 'in.pdf': object 12 at byte 3456: ...\")\n"
        "\n"
        "Protected and damaged files:\n"
        "  --password TEXT  open an encrypted INPUT with TEXT, its user or its owner password\n"
        "                (\"\" is the empty password). Without --password the empty password\n"
        "                is tried, which opens most protected files. The output stays\n"
        "                encrypted with the input's passwords and permissions; a file that\n"
        "                does not allow changes needs its owner password.\n"
        "  --repair      rebuild damaged cross-reference data from the objects the file\n"
        "                holds (else such a file is refused); the output is a sound file\n"
        "\n"
        "PARAMS: further call options, \"key=value\" pairs separated by \";\" (write \";\" in a\n"
        "value as \"\\;\" and \"\\\" as \"\\\\\"): password=TEXT, repair=1, incremental=1,\n"
        "verbose=1, jobs=N. They follow the options above and win where they repeat one.\n"
        "\n"
        "Numbers take a decimal value (negative allowed) or 0x-prefixed hex; texts are taken\n"
        "as given, empty allowed.\n"
        "\n"
        "Properties (default in brackets):\n");
    for (const PropertyInfo& p : tavrix::tavrixProperties()) {
        const char* kind = p.type == PropertyType::Long   ? "number"
                           : p.type == PropertyType::Flag ? "flag"
                                                          : "text";
        std::printf("  --%-13s %-6s [%s]  %.*s\n", std::string(p.name).c_str(), kind,
                    tavrix::defaultText(p).c_str(), static_cast<int>(p.meaning.size()),
                    p.meaning.data());
    }
    std::printf("\nExit status: 0 on success, 1 when the run failed, 2 for a usage error. The\n"
                "engine's result text and, on lines starting with \"tavrix: \", why each failed\n"
                "file failed go to standard error.\n");
    std::printf("\n"
                "The engine is created through the automation runtime, which finds it in the\n"
                "user's registry file ($TAVRIX_REGISTRY, else ~/.config/tavrix/registry) and\n"
                "then in the system's (%s):\n"
                "  tavrix --register [--system] [LIBRARY]    register LIBRARY (default: this\n"
                "                                 installation's libtavrix.so) for this user,\n"
                "                                 or with --system for every user\n"
                "  tavrix --unregister [--system] [LIBRARY]  remove the registration\n"
                "Exit status 3: the engine could not be created or called.\n",
                tavrixrt::systemRegistryPath().c_str());
}

bool parseInteger(const std::string& text, int32_t& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const unsigned long long v = std::strtoull(text.c_str() + 2, &end, 16);
        if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull || text[2] == '-' || text[2] == '+')
            return false;
        out = static_cast<int32_t>(static_cast<uint32_t>(v)); // colours fill all 32 bits
        return true;
    }
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool isCount(std::string_view text) {
    return !text.empty() && text.size() <= 6 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "tavrix: %s\nRun 'tavrix --help' for the list of properties.\n",
                 message.c_str());
    return kUsageError;
}

std::string errorText(HRESULT hr) {
    Bstr text;
    *text.put() = FormatErrorMessage(hr);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return text.utf8() + " (" + code + ")";
}

int automationError(const std::string& what, HRESULT hr) {
    std::fprintf(stderr, "tavrix: %s: %s\n", what.c_str(), errorText(hr).c_str());
    return kAutomationError;
}

// What a user can do when the engine cannot be created.
int creationError(HRESULT hr) {
    automationError("cannot create the engine (Tavrix.TavrixCom)", hr);
    const std::string registry = tavrixrt::registryPath();
    std::fprintf(stderr, "Registry file: %s\n", registry.empty() ? "(none)" : registry.c_str());
    if (hr == REGDB_E_READREGDB)
        std::fprintf(stderr, "Repair or delete that file, then run 'tavrix --register'.\n");
    else
        std::fprintf(stderr, "Register the engine library with 'tavrix --register' "
                             "(or 'tavrix --register /path/to/libtavrix.so').\n");
    return kAutomationError;
}

// The engine library of this installation: beside the program in a build folder, else in the
// library folder of the prefix the program is installed under.
std::string defaultLibrary() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) return "libtavrix.so";
    path.resize(static_cast<size_t>(n));
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    const std::string beside = folder + "libtavrix.so";
    if (::access(beside.c_str(), F_OK) == 0) return beside;
    const std::string installed = folder + TAVRIX_LIBRARY_FROM_PROGRAM "/libtavrix.so";
    char resolved[PATH_MAX];
    if (::realpath(installed.c_str(), resolved)) return resolved;
    return beside;
}

int registration(bool add, std::vector<std::string> args) {
    DWORD registry = REGISTRY_USER;
    if (!args.empty() && args[0] == "--system") {
        registry = REGISTRY_SYSTEM;
        args.erase(args.begin());
    }
    if (args.size() > 1)
        return usageError("--register and --unregister take at most --system and a library");
    const std::string library = args.empty() ? defaultLibrary() : args[0];
    const HRESULT hr = add ? RegisterServerLibraryFor(library.c_str(), registry)
                           : UnregisterServerLibraryFor(library.c_str(), registry);
    if (FAILED(hr))
        return automationError(
            std::string(add ? "cannot register " : "cannot unregister ") + library, hr);
    std::printf(
        "%s %s in %s\n", add ? "Registered" : "Unregistered", library.c_str(),
        (registry == REGISTRY_SYSTEM ? tavrixrt::systemRegistryPath() : tavrixrt::registryPath())
            .c_str());
    return 0;
}

HRESULT put(IDispatch* engine, const Setting& s) {
    const std::u16string name = tavrixrt::utf16FromUtf8(s.property->name);
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = engine->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid);
    if (FAILED(hr)) return hr;
    VARIANT value;
    VariantInit(&value);
    Bstr text;
    if (takesInteger(*s.property)) {
        int32_t number = 0;
        parseInteger(s.value, number); // checked while reading the command line
        value.vt = VT_I4;
        value.lVal = number;
    } else {
        text = Bstr(s.value);
        if (!text.get()) return E_OUTOFMEMORY;
        value.vt = VT_BSTR;
        value.bstrVal = text.get();
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return engine->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                          nullptr);
}

// The engine's reasons for the jobs of the last call that failed (one line per failed file), read
// from the error object it leaves on this thread; empty when it left none.
std::string failureReasons(tavrix::ITavrixCom* engine) {
    ComPtr<ISupportErrorInfo> support;
    if (FAILED(engine->QueryInterface(IID_ISupportErrorInfo, support.putVoid())) ||
        support->InterfaceSupportsErrorInfo(tavrix::IID_ITavrixCom) != S_OK)
        return {};
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK) return {};
    Bstr description;
    if (FAILED(info->GetDescription(description.put()))) return {};
    return description.utf8();
}

// Creates the engine, applies the settings and runs one call; the apartment is open.
int run(const std::vector<Setting>& settings, const std::vector<std::string>& positional,
        const std::string& callOptions) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(u"Tavrix.TavrixCom", &clsid);
    if (hr == CO_E_CLASSSTRING) hr = REGDB_E_CLASSNOTREG; // the ProgID is not registered
    if (FAILED(hr)) return creationError(hr);
    ComPtr<IUnknown> unknown;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.putVoid());
    if (FAILED(hr)) return creationError(hr);
    ComPtr<tavrix::ITavrixCom> engine;
    hr = unknown.queryInterface(tavrix::IID_ITavrixCom, engine);
    if (FAILED(hr)) return creationError(hr);

    for (const Setting& s : settings) {
        hr = put(engine.get(), s);
        if (FAILED(hr)) return automationError("--" + std::string(s.property->name), hr);
    }
    Bstr input(positional[0]), output(positional[1]), params(callOptions), result;
    if (!input.get() || !output.get() || !params.get())
        return automationError("getTavrixFile", E_OUTOFMEMORY);
    hr = engine->getTavrixFile(input.get(), output.get(), params.get(), result.put());
    std::fflush(stdout);
    if (FAILED(hr)) return automationError("getTavrixFile", hr);
    const std::string text = result.utf8();
    const std::string reasons = failureReasons(engine.get());
    if (!reasons.empty() && ::isatty(STDOUT_FILENO)) {
        // The progress line is still open; the reasons start on a line of their own. Redirected
        // output keeps the engine's bytes exactly.
        std::fputs("\n", stdout);
        std::fflush(stdout);
    }
    if (!text.empty()) std::fputs(text.c_str(), stderr);
    size_t from = 0;
    while (from < reasons.size()) {
        size_t end = reasons.find('\n', from);
        if (end == std::string::npos) end = reasons.size();
        std::fprintf(stderr, "tavrix: %s\n", reasons.substr(from, end - from).c_str());
        from = end + 1;
    }
    return text.empty() ? 0 : kRunFailed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 &&
        (std::string_view(argv[1]) == "--register" || std::string_view(argv[1]) == "--unregister"))
        return registration(std::string_view(argv[1]) == "--register",
                            std::vector<std::string>(argv + 2, argv + argc));

    std::vector<Setting> settings;
    std::vector<std::string> positional;
    std::string jobs;
    bool verbose = false;
    bool repair = false;
    // The empty password unless one is given: most protected files open with it.
    std::string password;
    bool incremental = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help") {
            printHelp();
            return 0;
        }
        if (arg == "--verbose") {
            verbose = true;
            continue;
        }
        if (arg == "--repair") {
            repair = true;
            continue;
        }
        if (arg == "--password" || arg.rfind("--password=", 0) == 0) {
            if (arg.size() > 10) {
                password = arg.substr(11);
            } else {
                if (i + 1 >= argc) return usageError("missing value for --password");
                password = argv[++i]; // may be empty: the empty password
            }
            continue;
        }
        if (arg == "--incremental") {
            incremental = true;
            continue;
        }
        if (arg == "--jobs" || arg.rfind("--jobs=", 0) == 0) {
            // The count is optional: a value that is not one is the next argument (the list).
            std::string count = arg.size() > 6 ? arg.substr(7) : "";
            if (arg.size() == 6 && i + 1 < argc && isCount(argv[i + 1])) count = argv[++i];
            if (!count.empty() && !isCount(count))
                return usageError("--jobs needs a number of threads, got '" + count + "'");
            jobs = count.empty() ? "0" : count;
            continue;
        }
        std::string name = arg.substr(2);
        std::string value;
        const size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        } else {
            if (i + 1 >= argc) return usageError("missing value for --" + name);
            value = argv[++i];
        }
        const PropertyInfo* property = tavrix::findProperty(name);
        if (!property) return usageError("unknown property --" + name);
        if (takesInteger(*property)) {
            int32_t number;
            if (!parseInteger(value, number))
                return usageError("--" + name + " needs an integer, got '" + value + "'");
        }
        settings.push_back({property, value});
    }
    if (positional.size() < 2 || positional.size() > 3)
        return usageError("expected INPUT OUTPUT [PARAMS]");
    // Options for the call, then the caller's own PARAMS (which win where they repeat a key).
    std::string callOptions;
    if (!jobs.empty()) callOptions += "jobs=" + jobs + ";";
    if (verbose) callOptions += "verbose=1;";
    callOptions += "password=" + tavrix::escapeOptionValue(password) + ";";
    if (repair) callOptions += "repair=1;";
    if (incremental) callOptions += "incremental=1;";
    if (::isatty(STDERR_FILENO)) callOptions += "progressbar=1;";
    if (positional.size() > 2) callOptions += positional[2];

    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return automationError("cannot start the automation runtime", hr);
    const int status = run(settings, positional, callOptions);
    CoUninitialize();
    return status;
}
