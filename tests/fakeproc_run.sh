#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# Runs a command over a fake procfs: DIR's stat, loadavg and possible are
# bind-mounted over /proc's and sysfs' files.  Call it inside a private
# mount namespace (unshare -m), as root.
#   fakeproc_run.sh DIR COMMAND [ARG...]
set -eu
dir=$1
shift
mount --bind "$dir/stat" /proc/stat
mount --bind "$dir/loadavg" /proc/loadavg
mount --bind "$dir/possible" /sys/devices/system/cpu/possible
exec "$@"
