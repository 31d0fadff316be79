#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Turns a `tmux capture-pane -e -p` screen into an SVG picture.

Reads the capture on standard input, writes SVG on standard output.  Only
what the chart uses is understood: the eight colours as foreground (30-37)
and background (40-47), their defaults (39, 49), reset (0), and the lower
block glyphs, which are drawn as rectangles so the picture does not depend
on a font having them.
"""
import re
import sys

COLS, ROWS = int(sys.argv[1]), int(sys.argv[2])
CW, CH = 9, 18
PALETTE = ["#1e1e1e", "#cd3131", "#0dbc79", "#e5e510", "#2472c8", "#bc3fbc", "#11a8cd", "#e5e5e5"]
FG, BG = "#cccccc", "#1e1e1e"

out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{COLS * CW}" height="{ROWS * CH}" '
       f'font-family="DejaVu Sans Mono, monospace" font-size="14">',
       f'<rect width="100%" height="100%" fill="{BG}"/>']
token = re.compile(r"\x1b\[([0-9;]*)m|(.)", re.S)
fg = bg = None  # tmux sends only changes, also from one line to the next
for y, line in enumerate(sys.stdin.read().split("\n")[:ROWS]):
    x = 0
    for m in token.finditer(line):
        if m.group(1) is not None:
            for code in (m.group(1) or "0").split(";"):
                c = int(code or 0)
                if c == 0:
                    fg = bg = None
                elif 30 <= c <= 37:
                    fg = PALETTE[c - 30]
                elif 40 <= c <= 47:
                    bg = PALETTE[c - 40]
                elif c == 39:
                    fg = None
                elif c == 49:
                    bg = None
            continue
        ch = m.group(2)
        px, py = x * CW, y * CH
        if bg:
            out.append(f'<rect x="{px}" y="{py}" width="{CW}" height="{CH}" fill="{bg}"/>')
        k = ord(ch) - 0x2580
        if 1 <= k <= 8:
            h = CH * k / 8
            out.append(f'<rect x="{px}" y="{py + CH - h:.2f}" width="{CW}" height="{h:.2f}" fill="{fg or FG}"/>')
        elif ch != " ":
            esc = ch.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            out.append(f'<text x="{px}" y="{py + CH - 5}" fill="{fg or FG}">{esc}</text>')
        x += 1
out.append("</svg>")
print("\n".join(out))
