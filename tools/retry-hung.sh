#!/usr/bin/env bash
# Runs a command under a time limit; when it overruns (not when it fails), says
# so and runs it once more, and that run decides. Used for the reload test, in
# which loading the library again has now and then hung (most likely in Wine's
# loader; the cause is not found)
# (tests/reader/reader_reload_test.cpp): a second hang still fails.
#   tools/retry-hung.sh SECONDS command args...
limit=$1
shift
status=0
timeout -k 5 "$limit" "$@" || status=$?
[ "$status" -eq 124 ] || [ "$status" -eq 137 ] || exit "$status"
echo "retry-hung: overran ${limit} s and was stopped; running it once more" >&2
exec timeout -k 5 "$limit" "$@"
