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
ctest --output-on-failure -j"$(nproc)"
