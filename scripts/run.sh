#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# Builds corelume and runs it in this terminal; arguments go to corelume.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh cmake make g++ pkg-config libncurses-dev ncurses-bin
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target corelume -j"$(nproc)" >/dev/null
exec ./build/corelume "$@"
