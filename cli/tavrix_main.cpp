// tavrix: stamps page numbers onto PDF files from the command line.
//   tavrix [--NAME VALUE | --NAME=VALUE]... INPUT OUTPUT [PARAMS]
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/service/property_table.hpp"
#include "engine/service/tavrix_com.hpp"

namespace {

using tavrix::PropertyInfo;
using tavrix::PropertyType;

constexpr int kUsageError = 2;

struct Setting {
    const PropertyInfo* property;
    std::string value;
};

void printHelp() {
    std::printf(
        "Usage: tavrix [--NAME VALUE | --NAME=VALUE]... INPUT OUTPUT [PARAMS]\n"
        "\n"
        "Stamps page numbers or a short label onto every selected page of INPUT and writes\n"
        "the result to OUTPUT. Options are applied in the order given.\n"
        "\n"
        "File lists: when INPUT ends in \".txt\", each line names one input PDF, and OUTPUT\n"
        "is a switch: \"-fFOLDER\" writes each file into FOLDER under its listed name,\n"
        "\"-oPATH\" writes every file to PATH (use --renameoutput to keep them apart).\n"
        "\n"
        "Numbers take a decimal value (negative allowed) or 0x-prefixed hex; texts are taken\n"
        "as given, empty allowed.\n"
        "\n"
        "Properties (default in brackets):\n");
    for (const PropertyInfo& p : tavrix::tavrixProperties()) {
        const char* kind = p.type == PropertyType::Long   ? "number"
                           : p.type == PropertyType::Flag ? "flag"
                                                          : "text";
        std::printf("  --%-13s %-6s [%.*s]  %.*s\n", std::string(p.name).c_str(), kind,
                    static_cast<int>(p.fallback.size()), p.fallback.data(),
                    static_cast<int>(p.meaning.size()), p.meaning.data());
    }
    std::printf("\nExit status: 0 on success, 1 when the run failed (the reason goes to\n"
                "standard error), 2 for a usage error.\n");
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

int usageError(const std::string& message) {
    std::fprintf(stderr, "tavrix: %s\nRun 'tavrix --help' for the list of properties.\n",
                 message.c_str());
    return kUsageError;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Setting> settings;
    std::vector<std::string> positional;
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
        if (property->type == PropertyType::Long || property->type == PropertyType::Flag) {
            int32_t number;
            if (!parseInteger(value, number))
                return usageError("--" + name + " needs an integer, got '" + value + "'");
        }
        settings.push_back({property, value});
    }
    if (positional.size() < 2 || positional.size() > 3)
        return usageError("expected INPUT OUTPUT [PARAMS]");

    tavrix::TavrixCom engine;
    for (const Setting& s : settings) {
        if (s.property->type == PropertyType::Long || s.property->type == PropertyType::Flag) {
            int32_t number = 0;
            parseInteger(s.value, number);
            engine.putLong(s.property->dispid, number);
        } else {
            engine.putText(s.property->dispid, s.value);
        }
    }
    const std::string result = engine.getTavrixFile(positional[0], positional[1],
                                                    positional.size() > 2 ? positional[2] : "");
    std::fflush(stdout);
    if (result.empty()) return 0;
    std::fputs(result.c_str(), stderr);
    return 1;
}
