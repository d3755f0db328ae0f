#!/bin/sh
# Runs every fuzz target for a bounded time on a writable copy of its seed corpus.
# Usage: fuzz/run.sh [BUILD_FOLDER] [SECONDS]   (defaults: $TAVRIX_FUZZ_BUILD or build-fuzz at the
# project root, and 60 seconds per target)
# Inputs that crash or hang are kept under BUILD_FOLDER/fuzz-artifacts/<target>/.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${TAVRIX_FUZZ_BUILD:-$here/../build-fuzz}
seconds=60
case ${1:-} in
    '') ;;
    *[!0-9]*) build=$1; seconds=${2:-60} ;;
    *) seconds=$1 ;;
esac
case $seconds in
    '' | *[!0-9]*) echo "seconds must be a whole number, got '$seconds'" >&2; exit 2 ;;
esac
# The copies of the seeds and whatever the targets write go into one folder that is removed
# whatever ends the script (a finding, Ctrl-C, a bad argument).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# fontconfig's one-time allocations are not the targets' leaks.
export LSAN_OPTIONS="suppressions=$here/../tools/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
trap 'exit 130' INT TERM HUP
status=0
for target in parse_object open_document stamp_file shape_text font_program scan_text; do
    binary=$build/fuzz_$target
    if [ ! -x "$binary" ]; then
        echo "missing $binary (configure with -DTAVRIX_FUZZ=ON and build it)" >&2
        exit 2
    fi
    corpus=$work/corpus-$target
    mkdir -p "$corpus"
    cp "$here/seeds/$target/"* "$corpus/"
    artifacts=$build/fuzz-artifacts/$target
    mkdir -p "$artifacts"
    # The PDF dictionary helps the targets that read PDF files only.
    dict=-dict=$here/pdf.dict
    case $target in shape_text | font_program) dict="" ;; esac
    echo "== $target: $seconds s"
    # The fuzzer's progress goes to a log; only its final statistics are shown, or the end of
    # the log when it found something.
    log=$build/fuzz-artifacts/$target.log
    if TMPDIR=$work "$binary" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        ${dict:+"$dict"} -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log"
    else
        tail -n 60 "$log"
        echo "== $target FAILED; inputs kept in $artifacts" >&2
        status=1
    fi
    rm -rf "$corpus"
done
exit $status
