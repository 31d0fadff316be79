#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (FUZZ_SECONDS, default 30) from the seed corpus, after replaying the
# committed regression inputs.  Fails on any finding; the input that
# found it is left in the printed directory: commit it under
# tests/fuzz/regressions/<target>/.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh cmake make clang libclang-rt-14-dev pkg-config libncurses-dev ncurses-base
secs=${FUZZ_SECONDS:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCORELUME_FUZZ=ON -DBUILD_TESTING=OFF \
	-DCORELUME_BENCH=OFF -DCORELUME_WERROR=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)"
work=$(mktemp -d)
root=$(pwd)
for target in stat loadavg; do
	bin=$root/build-fuzz/tests/fuzz/fuzz_$target
	mkdir -p "$work/$target"
	cp -r "tests/fuzz/corpus/$target/." "$work/$target/"
	if [ -n "$(ls "tests/fuzz/regressions/$target" 2>/dev/null)" ]; then
		"$bin" -runs=0 "tests/fuzz/regressions/$target"/* >"$work/$target.log" 2>&1 ||
			{ tail -n 30 "$work/$target.log"; echo "fuzz_$target: a regression input fails"; exit 1; }
	fi
	(cd "$work" && "$bin" -max_total_time="$secs" -print_final_stats=0 "$work/$target" \
		>"$work/$target.log" 2>&1) ||
		{ tail -n 40 "$work/$target.log"; echo "fuzz_$target: finding kept in $work"; exit 1; }
	grep -E '^Done [0-9]+ runs' "$work/$target.log" | sed "s/^/fuzz_$target: /"
done
rm -rf "$work"
