#!/bin/sh
# Runs every fuzz target for a bounded time on a writable copy of its seed corpus.
# Usage: fuzz/run.sh [SECONDS]   (default 60 per target)
# The targets are taken from $TAVRIX_FUZZ_BUILD (default: build-fuzz at the project root).
# Inputs that crash or hang are kept under $TAVRIX_FUZZ_BUILD/fuzz-artifacts/<target>/.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${TAVRIX_FUZZ_BUILD:-$here/../build-fuzz}
seconds=${1:-60}
status=0
for target in parse_object open_document stamp_file scan_text; do
    binary=$build/fuzz_$target
    if [ ! -x "$binary" ]; then
        echo "missing $binary (configure with -DTAVRIX_FUZZ=ON and build it)" >&2
        exit 2
    fi
    corpus=$(mktemp -d)
    cp "$here/seeds/$target/"* "$corpus/"
    artifacts=$build/fuzz-artifacts/$target
    mkdir -p "$artifacts"
    case $seconds in
        '' | *[!0-9]*) echo "seconds must be a whole number, got '$seconds'" >&2; exit 2 ;;
    esac
    echo "== $target: $seconds s"
    # The fuzzer's progress goes to a log; only its final statistics are shown, or the end of
    # the log when it found something.
    log=$build/fuzz-artifacts/$target.log
    if "$binary" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -dict="$here/pdf.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log"
    else
        tail -n 60 "$log"
        echo "== $target FAILED; inputs kept in $artifacts" >&2
        status=1
    fi
    rm -rf "$corpus"
done
exit $status
