#!/usr/bin/env bash
# Runs a Python command against the sanitizer build: the runtimes preloaded into an
# uninstrumented interpreter, the interpreter's allocator routed through malloc so
# that every block is seen, and leak detection on (tools/lsan-python.supp says what
# is silenced and why).
#
# LeakSanitizer's tracer, which stops every thread to scan their stacks, now and
# then dies of a signal on these machines after the tests themselves have passed,
# more often under load; that one failure of the sanitizer itself (and no other) is
# retried, up to three runs in all.
set -u
package_dir=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

run() {
    PYTHONPATH="$package_dir" PYTHONMALLOC=malloc \
    LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)" \
    ASAN_OPTIONS=detect_leaks=1:malloc_context_size=2 \
    LSAN_OPTIONS="suppressions=$here/lsan-python.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$@" 2>&1 | tee "$log"
    return "${PIPESTATUS[0]}"
}

for attempt in 1 2 3; do
    run "$@" && exit 0
    status=$?
    grep -q "Tracer caught signal" "$log" || exit "$status"
    [ "$attempt" -lt 3 ] && echo "LeakSanitizer's tracer crashed; running once more" >&2
done
exit "$status"
