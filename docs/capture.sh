#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# Regenerates docs/screenshot.svg: corelume in tmux (80x24) over a fake
# procfs of 12 CPUs with a mixed load, captured with its colours.  Needs
# root (a private mount namespace), tmux and python3.
#   sh docs/capture.sh [path/to/corelume]
set -eu
cd "$(dirname "$0")/.."
bin=$(realpath "${1:-build/corelume}")
dir=$(mktemp -d)
sock="$dir/tmux.sock"
trap 'tmux -S "$sock" kill-server 2>/dev/null || true; rm -rf "$dir"' EXIT

# stat T: 12 CPUs; each CPU's busy ticks grow by its own shares of T
stat() {
	awk -v t="$1" 'BEGIN {
		split("5 60 1 0 0 0|0 35 20 0 2 3|0 80 10 0 0 1|10 20 5 30 0 0|0 5 3 0 0 0|0 96 3 0 0 1|" \
		      "0 45 15 0 5 10|25 25 0 0 0 0|0 10 60 0 0 0|0 70 5 0 0 0|0 15 5 5 0 0|0 50 40 0 0 0", load, "|")
		for (i = 1; i <= 12; i++) {
			split(load[i], s, " ")
			line[i] = sprintf("cpu%d %d %d %d %d %d %d %d 0 0 0", i - 1,
			    s[2] * t, s[1] * t, s[3] * t, 1000, s[4] * t, s[5] * t, s[6] * t)
			for (k = 1; k <= 6; k++) sum[k] += s[k] * t
		}
		printf "cpu  %d %d %d 12000 %d %d %d 0 0 0\n", sum[2], sum[1], sum[3], sum[4], sum[5], sum[6]
		for (i = 1; i <= 12; i++) print line[i]
		print "intr 1 2 3"
	}'
}
stat 0 > "$dir/stat"
echo "3.21 2.87 2.40 4/512 31337" > "$dir/loadavg"
echo "0-11" > "$dir/possible"
tmux -S "$sock" -f /dev/null new-session -d -x 80 -y 24 \
	"env -i PATH=/usr/bin:/bin TERM=tmux-256color LANG=C.UTF-8 unshare -m sh tests/fakeproc_run.sh $dir $bin -d -1"
# elapsed time is measured as it passes: let 2 s pass, in which
# each CPU's counters grow by its shares (percent) of 2 s of ticks
sleep 2
stat "$(getconf CLK_TCK | awk '{ print $1 * 2 / 100 }')" > "$dir/stat.new"
cat "$dir/stat.new" > "$dir/stat"
tmux -S "$sock" send-keys x
sleep 0.5
tmux -S "$sock" capture-pane -e -p -N > "$dir/screen"
python3 docs/ansi2svg.py 80 24 < "$dir/screen" > docs/screenshot.svg
tmux -S "$sock" send-keys q
echo "wrote docs/screenshot.svg"
