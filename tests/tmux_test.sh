#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# What a person sees: corelume in tmux, a real terminal emulator, over a
# fake procfs.  Exit 77 (skipped) without root or tmux.
#   tmux_test.sh path/to/corelume
set -eu
bin=$(realpath "$1")
run=$(realpath "$(dirname "$0")/fakeproc_run.sh")
if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2>/dev/null; then
	echo "skipped: the fake procfs needs root and a private mount namespace (unshare -m)"
	exit 77
fi
if ! command -v tmux >/dev/null; then
	echo "skipped: tmux is not installed"
	exit 77
fi

dir=$(mktemp -d)
sock="$dir/tmux.sock"
t() { tmux -S "$sock" "$@"; }
cleanup() { t kill-server 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- screen:"; cat "$dir/screen" 2>/dev/null; exit 1; }

stat() {	# stat USER_OF_CPU1: 4 CPUs, CPU 1 gaining huge user time
	echo "cpu  $(( $1 + 4000 )) 0 0 400000 0 0 0 0 0 0"
	for i in 0 2 3; do echo "cpu$i 1000 0 0 100000 0 0 0 0 0 0"; done | sed '1a cpu1 '"$1"' 0 0 100000 0 0 0 0 0 0'
	echo "intr 1 2 3"
}
stat 1000 > "$dir/stat"
echo "0.52 1.25 10.00 2/345 6789" > "$dir/loadavg"
echo "0-3" > "$dir/possible"

t -f /dev/null new-session -d -x 80 -y 24 -s cl "env -i PATH=/usr/bin:/bin TERM=tmux-256color LANG=C.UTF-8 PS1='$ ' ASAN_OPTIONS='${ASAN_OPTIONS:-}' UBSAN_OPTIONS='${UBSAN_OPTIONS:-}' sh"
t send-keys -t cl "echo shell-before" Enter
# started in the background it waits for fg
t send-keys -t cl "unshare -m sh $run $dir $bin -d -1 &" Enter
sleep 1
t send-keys -t cl fg Enter
sleep 1
# one tick (a key: -d -1 waits for nothing else) after CPU 1 gained far
# more user time than can have elapsed
stat 900000000 > "$dir/stat.new" && cat "$dir/stat.new" > "$dir/stat"
t send-keys -t cl x
sleep 1

t capture-pane -p -t cl > "$dir/screen"
head -n 1 "$dir/screen" | grep -q '^   nice    user    sys    iowait    irq    softirq ' || fail "legend on row 0"
head -n 1 "$dir/screen" | grep -q 'load: 0.52 1.25 10.00$' || fail "load averages at the right end of row 0"
tail -n 1 "$dir/screen" | grep -q '^avg 0 1 2 3$' || fail "labels on the last row"
# CPU 1's bar (column 6) is blue from the bottom bar row to the top one
t capture-pane -e -p -t cl > "$dir/screen.e"
rows=$(sed -n '3,23p' "$dir/screen.e" | grep -c '44m') || true
[ "$rows" -eq 21 ] || fail "full-height user bar: $rows of 21 rows blue"

t send-keys -t cl C-z
sleep 0.5
t capture-pane -p -t cl > "$dir/screen"
grep -q 'softirq' "$dir/screen" && fail "the shell's screen is back after ctrl-z"
t send-keys -t cl fg Enter
sleep 1
t capture-pane -p -t cl > "$dir/screen"
head -n 1 "$dir/screen" | grep -q 'softirq' || fail "the chart is back after fg"
t send-keys -t cl q	# raw again: no Enter needed
sleep 0.5
t capture-pane -p -t cl > "$dir/screen"
grep -q 'shell-before$' "$dir/screen" || fail "the shell's screen is back after q"
grep -q 'softirq' "$dir/screen" && fail "the chart is gone after q"
echo "tmux: background start, legend, load line, labels, full bar, ctrl-z and fg, screen restored: ok"
