#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# Builds corelume and runs it in this terminal; arguments go to corelume.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh cmake make g++ pkg-config libncurses-dev ncurses-bin
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target corelume -j"$(nproc)" >/dev/null
# The one-eighth glyphs need a UTF-8 locale; a fresh machine often has
# none set, which would mean whole-cell ASCII bars without a word.
if [ -z "${LC_ALL:-}${LC_CTYPE:-}${LANG:-}" ]; then
	echo "no locale set: running with LANG=C.UTF-8 (pass -a for ASCII bars)" >&2
	export LANG=C.UTF-8
fi
exec ./build/corelume "$@"
