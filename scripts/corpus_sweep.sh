#!/bin/sh
# Loads every file of the real-world corpus with the sanitizer build of the
# tool and prints one line per file: result, objects, time, peak memory.
# Any crash, sanitizer report or time-out is listed at the end and makes the
# script fail.
#   scripts/corpus_sweep.sh [CORPUS_DIR] [SECONDS_PER_FILE]
set -eu
cd "$(dirname "$0")/.."
corpus=${1:-../shared/corpus}
limit=${2:-60}
[ -d "$corpus" ] || { echo "no corpus at $corpus"; exit 0; }
command -v /usr/bin/time >/dev/null 2>&1 || { apt-get update -qq && apt-get install -y -qq time >/dev/null; }
[ -x build-asan/cli/vrml ] || ./build.sh asan >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:exitcode=99
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:exitcode=99
failures=$(mktemp)
printf '%-90s %6s %8s %9s %9s\n' file result objects seconds peak_MB
find "$corpus" -type f \( -iname '*.wrl' -o -iname '*.wrz' -o -iname '*.vrml' -o -iname '*.gz' \) | sort |
while IFS= read -r file; do
    out=$(mktemp)
    /usr/bin/time -f '%e %M' -o "$out.time" timeout "$limit" build-asan/cli/vrml info "$file" >"$out" 2>"$out.err" || true
    status=$(sed -n 's/^result: *\([0-9]\).*/\1/p' "$out")
    objects=$(sed -n 's/^objects: *\([0-9]*\).*/\1/p' "$out")
    # GNU time puts "Command exited with non-zero status N" before its figures.
    read -r seconds kilobytes <<EOF_TIME || true
$(tail -n 1 "$out.time")
EOF_TIME
    if grep -q -E 'ERROR: AddressSanitizer|runtime error|LeakSanitizer|Command terminated|Command exited with non-zero status (99|1[2-9][0-9])' "$out.err" "$out.time" 2>/dev/null; then
        echo "$file" >> "$failures"
        status=FAIL
    fi
    printf '%-90s %6s %8s %9s %9s\n' "${file#$corpus/}" "${status:--}" "${objects:--}" "${seconds:--}" \
        "$(( ${kilobytes:-0} / 1024 ))"
    rm -f "$out" "$out.err" "$out.time"
done
if [ -s "$failures" ]; then
    echo "failed:"
    cat "$failures"
    rm -f "$failures"
    exit 1
fi
rm -f "$failures"
echo "no crash, hang or sanitizer report"
