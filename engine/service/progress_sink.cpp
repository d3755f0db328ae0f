#include "engine/service/progress_sink.hpp"

#include <cstdio>

namespace tavrix {

void StandardOutputSink::text(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void StandardOutputSink::note(std::string_view line) {
    std::fprintf(stderr, "tavrix: warning: %.*s\n", static_cast<int>(line.size()), line.data());
}

ProgressSink& standardOutput() {
    static StandardOutputSink sink;
    return sink;
}

} // namespace tavrix
