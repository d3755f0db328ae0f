#!/bin/sh
# Peer wrapper: node with the npm packages from $BENCH_NPM (default /tmp/tavrix-bench-npm).
NODE_PATH="${BENCH_NPM:-/tmp/tavrix-bench-npm}/node_modules" exec node "$(dirname "$0")/cpdf.js" "$1" "$2"
