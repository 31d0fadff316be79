#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# Installs the build into a temporary prefix: the program runs from there
# and its manual is lint-clean and renders.  Exit 77 (skipped) without
# mandoc.
#   install_test.sh BUILD_DIR
set -eu
build=$1
if ! command -v mandoc >/dev/null; then
	echo "skipped: mandoc is not installed"
	exit 77
fi
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
man="$prefix/share/man/man1/corelume.1"

"$prefix/bin/corelume" -h 2>"$prefix/help" || fail "bin/corelume installed, -h exits 0"
grep -q '^Usage: .*corelume \[-a\] \[-d delay\]$' "$prefix/help" || fail "installed corelume prints its usage"

lint=$(mandoc -Tlint "$man" 2>&1) || true
[ -z "$lint" ] || fail "mandoc -Tlint: $lint"
page=$(mandoc -Tascii "$man" | sed "s/.\x08//g")
echo "$page" | grep -q '^CORELUME(1)' || fail "the manual renders"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "$page" | grep -q "corelume $version\." || fail "the manual names version $version"
echo "install: binary, manual, lint and version: ok"
