// The limits the reader holds a file to, in one place. Numbers in a PDF file are never trusted:
// each limit turns what only a hostile or broken file would ask for (a huge table, a deep
// nesting, an absurd image row) into a value the reader treats as unusable, never into a huge
// allocation or an endless loop. Tests narrow them to reach the paths behind them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrix {

struct ReaderLimits {
    // Arrays and dictionaries nested deeper than this parse as Error. The depth counts on from
    // the parse that made a nested fetch (an indirect stream Length, say): parsers within one
    // another share one limit, so a chain of fetches cannot stack up their nestings.
    int maxDepth = 256;
    // Nested fetches (an indirect stream Length, an object stream inside an object stream).
    int maxFetchDepth = 32;
    // More objects than any conforming file may have; larger Size or subsections are refused.
    int64_t maxObjects = 10'000'000;
    // Below maxObjects, a table may also not exceed 64 entries per byte of the file (or this
    // many, for small files).
    int64_t minObjectsBound = 1 << 20;
    // The largest file read: offsets beyond ten digits fit no cross-reference table, the layout
    // every output keeps.
    int64_t maxFileSize = 9'999'999'999;
    // "startxref" is looked for in this many bytes at the end of the file.
    size_t startxrefTail = 1023;
    // Decoded object streams kept for reuse, by total size.
    size_t objectStreamCacheBytes = size_t{2} << 20;
    // A decoded object stream larger than this is refused (no real file comes near it).
    size_t maxObjectStreamBytes = size_t{512} << 20;
    // Predictor parameters beyond these make a stream unusable rather than a huge allocation;
    // two rows are held while decoding.
    int maxPredictorColumns = 1 << 20;
    int maxPredictorColors = 256;
    int64_t maxPredictorRowBits = int64_t{1} << 27;
};

} // namespace tavrix
