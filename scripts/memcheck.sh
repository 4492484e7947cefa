#!/bin/sh
# Runs the whole test program, and the tool on the sample scenes, under
# valgrind's memcheck on a plain optimised build with debug information.
# Fails on any memcheck error or definite leak.
#   scripts/memcheck.sh [SHARDS]
# The tests are split into SHARDS processes run side by side (default: the
# number of processors); each writes its report to build-vg/memcheck.N.log.
set -eu
cd "$(dirname "$0")/.."
shards=${1:-$(nproc)}
command -v valgrind >/dev/null 2>&1 || { apt-get update -qq && apt-get install -y -qq valgrind >/dev/null; }
cmake -S . -B build-vg -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-vg -j "$(nproc)" >/dev/null

memcheck() {
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
        --show-leak-kinds=definite "$@"
}

status=0
i=0
pids=
while [ "$i" -lt "$shards" ]; do
    GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$i \
        memcheck --log-file="build-vg/memcheck.$i.log" build-vg/tests/vrml_tests --gtest_brief=1 \
        >"build-vg/memcheck.$i.out" 2>&1 &
    pids="$pids $!"
    i=$((i + 1))
done
for pid in $pids; do
    wait "$pid" || status=1
done
for scene in examples/*.wrl; do
    memcheck -q build-vg/cli/vrml info "$scene" >/dev/null || status=1
done
grep -h "ERROR SUMMARY\|definitely lost\|no leaks are possible" build-vg/memcheck.*.log
[ "$status" -eq 0 ] && echo "memcheck: no error and no definite leak" || echo "memcheck: failures, see build-vg/memcheck.*"
exit "$status"
