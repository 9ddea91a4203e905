#!/usr/bin/env bash
# The POP3 benchmark: builds the walker and the driver in build/ (optimised, as scripts/build
# configures it), then runs them against a Dovecot of their own on 127.0.0.1, directly and through a
# link with delay, and against a server of the driver's own for a million messages. Not a timed test.
#   bench/pop3/run.sh [--rounds N] [--only a|b|c|d (comma-separated)] [--delay-ms <one way, 25>]
#                     [--baseline <another build's pop3_walk>]
# Without --only: (a), (b) and (c); (d) takes minutes a round: bench/pop3/run.sh --only d --rounds 1
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build}
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target pop3_walk pop3_bench >/dev/null
exec "$build/bench/pop3/pop3_bench" --walker "$build/bench/pop3/pop3_walk" \
    --poplib "$root/bench/pop3/poplib_walk.py" "$@"
