#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# Builds corelume and runs every test.
#   CORELUME_SANITIZE=1  build with AddressSanitizer + UndefinedBehaviorSanitizer
#   BUILD_DIR=dir        build directory (default build, or build-asan)
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh cmake make g++ pkg-config libncurses-dev ncurses-bin \
	libgtest-dev libbenchmark-dev tmux mandoc
san=${CORELUME_SANITIZE:-0}
if [ "$san" = 1 ]; then dir=${BUILD_DIR:-build-asan}; else dir=${BUILD_DIR:-build}; fi
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORELUME_WERROR=ON \
	-DBUILD_TESTING=ON -DCORELUME_BENCH=ON \
	-DCORELUME_SANITIZE="$([ "$san" = 1 ] && echo ON || echo OFF)" >/dev/null
cmake --build "$dir" -j"$(nproc)"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$dir"
status=0
ctest --output-on-failure -j"$(nproc)" || status=$?
# ctest names the skipped tests but not why; each printed its reason on
# a line of its own that begins with "skipped".
why=$(awk '/^[0-9]+\/[0-9]+ Test: /{name=$3} /^skipped/{print "  " name ": " $0}' \
	Testing/Temporary/LastTest.log)
if [ -n "$why" ]; then
	echo "Why tests were skipped:"
	echo "$why"
fi
exit "$status"
