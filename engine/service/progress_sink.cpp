#include "engine/service/progress_sink.hpp"

#include <cstdio>

namespace tavrix {

void StandardOutputSink::text(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

ProgressSink& standardOutput() {
    static StandardOutputSink sink;
    return sink;
}

} // namespace tavrix
