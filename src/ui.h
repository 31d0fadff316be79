// SPDX-License-Identifier: BSD-2-Clause
/*
 * ui: the bar chart.
 *
 * ui_init picks the glyphs for the locale (or ASCII mode).  ui_layout
 * clears the screen, draws the legend and the labels and sets up the bars,
 * the panes and the canvas for the CPUs online in a delta and the terminal
 * size, a bar per group of CPUs where one per CPU does not fit.  Each tick
 * ui_compute_bars rasterises a delta into the canvas, ui_show_bars paints
 * it and ui_show_load draws the load averages.
 * Nothing here flushes the output, and only ui_layout allocates.
 */
#ifndef UI_H
#define UI_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cpustats.h"

/* One stat kind: a band of every bar, stacked in table order. */
struct ui_stat {
	const char *name;		/* legend text; none for idle */
	uint8_t color;			/* setaf/setab colour, 255 for none */
	char mono;			/* character of the band without colours */
	uint64_t cpustat::*field;	/* counter of the band; none for idle */
};

inline constexpr uint8_t ui_nocolor = 255;

/*
 * The bands of every bar, bottom up; idle, blank, tops them.  Steal time,
 * shown only on request, sits just below idle.  White, the one colour left
 * that a dark background does not swallow (black would), is grey in the
 * usual palettes, so it stays apart from a light background too.
 */
inline constexpr std::array<ui_stat, 8> ui_stats_steal = {{
	{"nice", 2, '+', &cpustat::nice},
	{"user", 4, '#', &cpustat::user},
	{"sys", 1, '%', &cpustat::sys},
	{"iowait", 6, ':', &cpustat::iowait},
	{"irq", 5, '!', &cpustat::irq},
	{"softirq", 3, '~', &cpustat::softirq},
	{"steal", 7, '=', &cpustat::steal},
	{nullptr, ui_nocolor, ' ', nullptr},
}};

/* The usual bands: the same without steal. */
inline constexpr std::array<ui_stat, 7> ui_stats_plain = [] {
	std::array<ui_stat, 7> t{};
	size_t n = 0;
	for (const ui_stat &s : ui_stats_steal)
		if (s.field != &cpustat::steal)
			t[n++] = s;
	return t;
}();

/* Room for the larger table; idle is always the last kind. */
inline constexpr int ui_nstats_max = (int)ui_stats_steal.size();

/* The stat kinds in use, in stacking order: one of the tables above. */
extern std::span<const ui_stat> ui_stats;

/* Without colours the glyph table holds the band characters: the band of
 * stat index k is glyph k + 1, idle the space. */
static_assert(ui_nstats_max <= 8, "one glyph per named band");

/* The canvas never takes more than this, whatever the window's size:
 * bars are cut to fit (three planes of one byte per cell). */
inline constexpr int32_t ui_max_rows = 65536;
inline constexpr size_t ui_max_cells = (64u << 20) / 3;

struct ui_bar {
	int32_t pos;	/* first canvas column */
	int32_t width;	/* canvas columns */
	int32_t cpu;	/* index into the delta's cpus (a group's first), -1 for avg */
};

struct ui_pane {
	int32_t bottom;	/* screen rows below the pane's lowest bar row */
	int32_t start;	/* first canvas column shown */
	int32_t width;	/* canvas columns shown */
};

/*
 * How the bars are drawn: block glyphs in eighths of a cell, whole cells
 * of colour (-a, or a locale without the glyphs), or, without colours
 * (the terminal has none, or NO_COLOR is set), whole cells of each band's
 * own character.
 */
enum ui_drawing { UI_UNICODE, UI_ASCII, UI_MONO };

/* Glyph strings by glyph index: a space, then U+2581..U+2587, or the
 * band characters in UI_MONO. */
extern char ui_chars[8][6];
extern ui_drawing ui_mode;
/* Columns the legend takes on row 0, and the column where the load line
 * begins there (-1 while none stands since the last layout). */
extern int32_t ui_legend_width;
extern int32_t ui_load_col;

/* CPUs to a bar asked for (-g): 1, one bar per CPU, unless set. */
extern int32_t ui_group_asked;

extern ui_bar *ui_bars;
extern int32_t ui_num_bars;
extern ui_pane *ui_panes;
extern int32_t ui_num_panes;
extern int32_t ui_bar_length;
extern int32_t ui_bar_width;

/* The canvas: column-major planes, cell (c, j) at c * ui_bar_length + j,
 * row 0 the lowest. */
extern uint8_t *ui_display;
extern uint8_t *ui_fore;
extern uint8_t *ui_back;

/* Settles ui_mode and builds the glyph table: the band characters when
 * there are no colours to draw with (the terminal lacks them, or NO_COLOR
 * is set and not empty), else the block glyphs in the user's LC_CTYPE
 * locale; an encoding that fails, leaves a shift state or does not fit an
 * entry selects ASCII mode.  Needs the terminal description loaded. */
void ui_init(ui_drawing want);
/* Picks the stat kinds, with steal time as a band of its own or without;
 * before ui_init, which may build glyphs for the bands. */
void ui_select_stats(bool steal);
/*
 * Lays the chart out for the CPUs online in delta and the current LINES
 * and COLS: clears the screen, draws legend and labels, replaces the bar
 * and pane arrays and the canvas planes.  One bar per ui_group_asked CPU
 * ids (panes as needed) where every bar gets a bar row; else groups twice
 * as large until they fit one pane; else the avg bar alone.  Short of what
 * was asked, a note on row 1 names the size that shows it.  Relies on the
 * delta invariant (num_online records online, none above max_cpu).
 */
void ui_layout(const cpustats *delta);
/*
 * Fills the canvas from delta: clears it, then draws every bar from its
 * counters (avg from total over num_online CPUs, a group from the sum of
 * its online CPUs over their number) into its first column and copies
 * that column across the bar's width.  Assumes the layout was made for
 * this delta's online CPUs and that its time is not zero.
 */
void ui_compute_bars(const cpustats *delta);
/* Paints the canvas pane by pane, rows bottom up, sending a colour only
 * where it changes. */
void ui_show_bars();
/*
 * Draws "  load: " and the three averages right-aligned on row 0.  Where
 * the line is wider than the row it starts at column 0 and keeps only the
 * averages that fit whole (a number cut short would read as another
 * number); when not one fits, there is no line.  The legend keeps the
 * entries whose names end clear of "load:"; the others go whole, and come
 * back when the line shrinks.  What the line covered before and no longer
 * does is cleared.
 */
void ui_show_load(const load_avg *la);
/* After each tick's drawing: a cursor that cannot be hidden is moved to
 * the bottom right corner, which nothing drawn reaches. */
void ui_park_cursor();

#endif
