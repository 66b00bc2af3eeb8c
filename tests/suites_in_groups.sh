#!/usr/bin/env bash
# Fails when the test binary has a test that no group of tests/CMakeLists.txt
# runs (a suite added without a group's filter naming it).
# usage: suites_in_groups.sh wrenstall_tests.exe ALL_GROUP_FILTERS
set -uo pipefail
binary=$1
filters=$2
# The suite lines of a listing ("Suite." or "Prefix/Suite.", each followed by its tests).
suites() { wine "$binary" --gtest_list_tests "$@" 2>/dev/null | tr -d '\r' | grep -E '^[A-Za-z_][A-Za-z0-9_/]*\.( |$)'; }
all=$(suites)
left=$(suites "--gtest_filter=-$filters")
# The listing itself must have worked, or an empty remainder proves nothing.
if [ -z "$all" ]; then
    echo "FAILED: the test binary listed no suites"
    exit 1
fi
echo "$(wc -l <<<"$all") suites in the test binary"
if [ -n "$left" ]; then
    echo "FAILED: suites that no group in tests/CMakeLists.txt runs (add each to a group's filter):"
    sed 's/^/    /' <<<"$left"
    exit 1
fi
echo "ok: every suite is in a group"
