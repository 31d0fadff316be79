#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# Installs the Debian packages named as arguments when any is missing.
# Not root: names the missing ones and fails.
set -eu
missing=
for pkg in "$@"; do
	dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
		missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
	echo "missing packages:$missing (install them as root: apt-get update && apt-get install$missing)" >&2
	exit 1
fi
echo "installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >&2
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >&2
