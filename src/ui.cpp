// SPDX-License-Identifier: BSD-2-Clause
/*
 * The bar chart: glyphs, layout, rasteriser, painter and load line.
 * Geometry is in signed 32-bit integers, band boundaries in 256ths of a
 * cell; no floating point outside the load line.
 */
#include "ui.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#define NCURSES_NOMACROS
#include <curses.h>

#include "fatal.h"
#include "terminal.h"

char ui_chars[8][6];
ui_drawing ui_mode;
int32_t ui_legend_width;
int32_t ui_load_col = -1;
std::span<const ui_stat> ui_stats = ui_stats_plain;
int32_t ui_group_asked = 1;

ui_bar *ui_bars;
int32_t ui_num_bars;
ui_pane *ui_panes;
int32_t ui_num_panes;
int32_t ui_bar_length;
int32_t ui_bar_width;
uint8_t *ui_display;
uint8_t *ui_fore;
uint8_t *ui_back;

/* CPU ids to each bar after avg in the layout in force, and per bar the
 * sums of a tick when that is more than one. */
static int32_t ui_group = 1;
static cpustat *ui_group_sums;

/* Glyph index of stat kind k without colours: idle stays blank. */
static uint8_t
mono_glyph(int32_t k)
{
	return ui_stats[(size_t)k].name != nullptr ? (uint8_t)(k + 1) : 0;
}

/* The locale is set only for the conversions and put back afterwards. */
void
ui_init(ui_drawing want)
{
	const char *no_color = std::getenv("NO_COLOR");

	std::strcpy(ui_chars[0], " ");
	if (!term_has_colors() || (no_color != nullptr && *no_color != '\0'))
		want = UI_MONO;
	ui_mode = want;
	if (ui_mode == UI_MONO) {
		/* whole cells of characters: neither glyphs nor colours */
		for (int32_t k = 0; k < (int32_t)ui_stats.size(); k++) {
			char *g = ui_chars[mono_glyph(k)];
			g[0] = ui_stats[(size_t)k].mono;
			g[1] = '\0';
		}
		return;
	}
	if (ui_mode == UI_ASCII)
		return;

	const char *cur = std::setlocale(LC_CTYPE, nullptr);
	char *saved = strdup(cur != nullptr ? cur : "C");
	std::setlocale(LC_CTYPE, "");

	std::mbstate_t st{};
	for (int k = 1; k <= 7; k++) {
		char tmp[MB_LEN_MAX];
		size_t n = std::wcrtomb(tmp, (wchar_t)(0x2580 + k), &st);
		if (n == (size_t)-1 || std::mbsinit(&st) == 0 || n >= sizeof(ui_chars[k])) {
			ui_mode = UI_ASCII;
			break;
		}
		std::memcpy(ui_chars[k], tmp, n);
		ui_chars[k][n] = '\0';
	}

	std::setlocale(LC_CTYPE, saved != nullptr ? saved : "C");
	std::free(saved);
}

void
ui_select_stats(bool steal)
{
	ui_stats = steal ? std::span<const ui_stat>(ui_stats_steal) : std::span<const ui_stat>(ui_stats_plain);
}

/* malloc that never answers a request for zero bytes with null: an empty
 * plane is valid. */
static void *
alloc_or_die(size_t n, const char *what)
{
	void *p = std::malloc(n > 0 ? n : 1);
	if (p == nullptr)
		epanic("%s", what);
	return p;
}

static int32_t
decimal_len(int32_t v)
{
	char buf[16];
	return std::snprintf(buf, sizeof(buf), "%d", v);
}

/* Columns that text on screen row row may fill: all but the last one of
 * the last row where a character there would scroll the screen, or where
 * a cursor that cannot be hidden waits. */
static int32_t
row_room(int32_t row)
{
	return COLS - (row == LINES - 1 && (term_wraps_at_margin() || !term_hides_cursor()) ? 1 : 0);
}

/* Writes the first len bytes of s, as far as *room columns allow, and
 * takes them from *room. */
static void
put_clipped(const char *s, size_t len, int32_t *room)
{
	size_t n = std::min(len, (size_t)std::max(*room, 0));

	term_write(s, n);
	*room -= (int32_t)n;
}

/* Columns of legend entry k: swatch, blank, name, blank. */
static int32_t
entry_width(size_t k)
{
	return 4 + (int32_t)std::strlen(ui_stats[k].name);
}

/* How many legend entries, from the first, have swatch and name (if not
 * their trailing blank) within the first limit columns of row 0.  The
 * named kinds come first in the table. */
static size_t
legend_fit(int32_t limit)
{
	size_t n = 0;

	for (int32_t col = 0; n < ui_stats.size() && ui_stats[n].name != nullptr; n++) {
		col += entry_width(n);
		if (col - 1 > limit)
			break;
	}
	return n;
}

/* Columns that the first n legend entries take on row 0. */
static int32_t
legend_end(size_t n)
{
	int32_t col = 0;

	for (size_t k = 0; k < n; k++)
		col += entry_width(k);
	return std::clamp(col, 0, std::max(row_room(0), 0));
}

/*
 * Writes legend entries from..to-1 at the cursor, which stands where
 * entry from begins: a swatch (the band's colour, or its character twice
 * without colours), then the name between blanks, the last blank only
 * within room columns.
 */
static void
draw_entries(size_t from, size_t to, int32_t room)
{
	for (size_t k = from; k < to; k++) {
		const ui_stat &s = ui_stats[k];
		char item[32];

		if (ui_mode == UI_MONO) {
			const char swatch[2] = {s.mono, s.mono};
			put_clipped(swatch, sizeof(swatch), &room);
		} else {
			term_setab(s.color);
			put_clipped("  ", 2, &room);
			term_sgr0();
		}
		int len = std::snprintf(item, sizeof(item), " %s ", s.name);
		put_clipped(item, std::min((size_t)len, sizeof(item) - 1), &room);
	}
}

/* Legend on row 0: the entries that fit whole, none cut in a word. */
static void
draw_legend()
{
	size_t n = legend_fit(row_room(0));

	term_sgr0();
	term_clear();
	draw_entries(0, n, row_room(0));
	ui_legend_width = legend_end(n);
	ui_load_col = -1;
}

/*
 * Writes "avg" and each CPU's number into the label grid (rows of
 * ui_bar_width characters), then sends each pane's slice of it below the
 * pane's bar rows.
 */
static void
draw_labels(int32_t nrows)
{
	size_t width = (size_t)ui_bar_width;
	auto *buf = static_cast<char *>(alloc_or_die((size_t)nrows * width, "allocating label buffer"));

	std::memset(buf, ' ', (size_t)nrows * width);
	for (int32_t i = 0; i < ui_num_bars; i++) {
		char num[16];
		const ui_bar &b = ui_bars[i];
		int len = i == 0 ? std::snprintf(num, sizeof(num), "avg") :
		    std::snprintf(num, sizeof(num), "%d", b.cpu);
		/* "avg" and horizontal labels run along row 0, vertical ones
		 * down column pos */
		bool across = i == 0 || nrows == 1;
		for (int k = 0; k < len; k++) {
			size_t row = across ? 0 : (size_t)k;
			size_t col = (size_t)b.pos + (across ? (size_t)k : 0);
			if (row < (size_t)nrows && col < width)
				buf[row * width + col] = num[k];
		}
	}

	for (int32_t p = 0; p < ui_num_panes; p++) {
		const ui_pane &pn = ui_panes[p];
		for (int32_t r = 0; r < nrows; r++) {
			if (r == 0)
				term_cup(LINES - pn.bottom, 0);
			else
				term_putc('\n');
			term_write(buf + (size_t)r * width + (size_t)pn.start, (size_t)pn.width);
		}
	}
	std::free(buf);
}

/* How n bars after avg, labelled with d digits, stand in a window. */
struct arrangement {
	int32_t label_rows;	/* 1: numbers across; else one digit a row, down */
	int32_t pitch;		/* columns from the start of one bar to the next */
	int32_t width;		/* columns of each bar after avg */
	int32_t panes;		/* stacked down the screen, all but the last cols - 1 wide */
	int32_t pane_height;	/* screen rows of each pane, labels included, when several */
	int32_t rows;		/* bar rows */
	bool fits;		/* every bar has a bar row, on rows of its pane's own */
};

/* The arrangement of n bars after avg with d-digit labels in a window of
 * lines x cols.  Pure: layout, group size and note all ask it. */
static arrangement
arrange(int32_t n, int32_t d, int32_t lines, int32_t cols)
{
	arrangement a = {1, d + 1, d, 1, 0, std::max(lines - 3, 0), false};

	/* labels down the bars where across they do not fit; avg alone
	 * keeps its label across wherever its three columns fit */
	if (n > 0 && (d + 1) * n >= cols - 4) {
		/* one-column bars, a gap after each where there is room */
		a.label_rows = d;
		a.width = 1;
		a.pitch = 2 * n < cols - 4 ? 2 : 1;
		a.rows = std::max(lines - d - 2, 0);
		if (a.pitch == 1 && n >= cols - 4 && cols >= 2) {
			/* the canvas, n + 4 columns, is cut into panes of
			 * cols - 1 columns stacked down the screen */
			a.panes = (n + cols + 2) / (cols - 1);
			a.pane_height = (lines - 2) / a.panes;
			a.rows = std::max(a.pane_height - d, 0);
		}
	}
	int32_t canvas = n > 0 ? 4 + (n - 1) * a.pitch + a.width : 3;
	a.fits = a.rows > 0 && (a.panes > 1 || canvas < cols);
	return a;
}

/*
 * Counts the bars after avg for groups of g CPU ids, one for each group
 * that holds an online CPU, in increasing order; with bars, also sets
 * them from column 4, pitch apart, labelled by the group's first id.
 */
static int32_t
place_bars(const cpustats *delta, int32_t g, ui_bar *bars, const arrangement &a)
{
	int32_t n = 0, last = std::min(delta->max_cpu, cpustats_cpus - 1);

	for (int32_t cpu = 0; cpu <= last; cpu++) {
		if (delta->cpus[cpu].online != 1)
			continue;
		int32_t first = cpu - cpu % g;
		if (bars != nullptr)
			bars[n] = {4 + n * a.pitch, a.width, first};
		n++;
		cpu = first + (g - 1);	/* the group has its bar */
	}
	return n;
}

/* Digits of the labels: as many as the highest drawn, the first id of
 * the group that holds the highest online CPU. */
static int32_t
label_digits(const cpustats *delta, int32_t g)
{
	return decimal_len(delta->max_cpu / g * g);
}

/* Row 1 of a window that shows less than was asked: the CPUs, how many to
 * a bar (none: avg alone), and the size that would show the groups asked
 * for; nothing unless it fits whole. */
static void
draw_note(const cpustats *delta, int32_t shown, int32_t asked)
{
	int32_t ncpus = delta->num_online, cols = std::max(COLS, 2), lines = 1;
	int32_t n = place_bars(delta, asked, nullptr, {}), d = label_digits(delta, asked);
	char each[32] = "each", note[128];

	/* some height fits a bar or more from two columns on */
	if (n < 1)
		return;
	while (!arrange(n, d, lines, cols).fits)
		lines++;
	if (asked > 1)
		std::snprintf(each, sizeof(each), "%d to a bar", asked);
	int len = shown > 0 ?
	    std::snprintf(note, sizeof(note), "%d CPUs, %d to a bar: enlarge to %dx%d to see %s",
		ncpus, shown, cols, lines, each) :
	    std::snprintf(note, sizeof(note), "%d CPU%s: enlarge to %dx%d to see %s",
		ncpus, ncpus == 1 ? "" : "s", cols, lines, each);
	if (LINES < 2 || len > row_room(1))
		return;
	term_cup(1, 0);
	term_write(note, (size_t)len);
}

void
ui_layout(const cpustats *delta)
{
	int32_t asked = std::max(ui_group_asked, 1), n;
	arrangement a;

	draw_legend();
	for (ui_group = asked;; ui_group *= 2) {
		n = place_bars(delta, ui_group, nullptr, {});
		a = arrange(n, label_digits(delta, ui_group), LINES, COLS);
		/* groups larger than asked never take panes, and one alone
		 * would repeat avg */
		if (a.fits && (ui_group == asked || (a.panes == 1 && n > 1)))
			break;
		if (n <= 1) {
			/* not even two groups fit: avg alone */
			n = 0;
			a = arrange(0, 1, LINES, COLS);
			break;
		}
	}

	std::free(ui_panes);
	ui_num_panes = a.fits ? a.panes : 0;
	ui_panes = static_cast<ui_pane *>(alloc_or_die(sizeof(ui_pane) * (size_t)ui_num_panes, "allocating panes"));
	for (int32_t k = 0; k < ui_num_panes; k++)
		ui_panes[k] = {a.label_rows + (a.panes - 1 - k) * a.pane_height, k * (COLS - 1), COLS - 1};

	std::free(ui_bars);
	ui_num_bars = n + 1;
	ui_bars = static_cast<ui_bar *>(alloc_or_die(sizeof(ui_bar) * (size_t)ui_num_bars, "allocating bars"));
	ui_bars[0] = {0, 3, -1};
	if (n > 0)
		place_bars(delta, ui_group, ui_bars + 1, a);
	std::free(ui_group_sums);
	ui_group_sums = static_cast<cpustat *>(alloc_or_die(sizeof(cpustat) * (size_t)(ui_group > 1 ? ui_num_bars : 0),
	    "allocating group sums"));

	std::free(ui_display);
	std::free(ui_fore);
	std::free(ui_back);
	const ui_bar &lastbar = ui_bars[ui_num_bars - 1];
	ui_bar_width = lastbar.pos + lastbar.width;
	/* Memory and per-tick work stay bounded whatever the size: bars
	 * lose their top rows.  Row counts times 256 stay far from overflow. */
	ui_bar_length = std::min({a.fits ? a.rows : 0, ui_max_rows,
	    (int32_t)(ui_max_cells / (size_t)ui_bar_width)});
	size_t cells = (size_t)ui_bar_width * (size_t)ui_bar_length;
	ui_display = static_cast<uint8_t *>(alloc_or_die(cells, "allocating display buffer"));
	ui_fore = static_cast<uint8_t *>(alloc_or_die(cells, "allocating foreground buffer"));
	ui_back = static_cast<uint8_t *>(alloc_or_die(cells, "allocating background buffer"));
	if (ui_mode == UI_ASCII) {
		/* the rasteriser writes only ui_back in ASCII mode */
		std::memset(ui_display, 0, cells);
		std::memset(ui_fore, ui_nocolor, cells);
	}

	if (ui_num_panes > 0) {
		ui_pane &lastpane = ui_panes[ui_num_panes - 1];
		lastpane.width = ui_bar_width - lastpane.start;
	}
	/* No pane reaches the last column, where a character could wrap;
	 * the arrangement ensures it from two columns on. */
	for (int32_t p = 0; p < ui_num_panes; p++)
		ui_panes[p].width = std::clamp(ui_panes[p].width, 0, std::max(COLS - 1, 0));

	draw_labels(a.label_rows);
	if (n == 0 || ui_group != asked)
		draw_note(delta, n > 0 ? ui_group : 0, asked);
}

/*
 * Band boundaries of one bar, in 256ths of a cell from its bottom: b[k] is
 * the top of stat kind k, idle's the top of the bar.  The running sum
 * saturates rather than wraps, so boundaries never fall, and counters far
 * above the elapsed time fill the bar.  The bar stands for ncpus x time
 * ticks; returns false when that is none (no CPU online).
 */
static bool
bar_bounds(const cpustat *rec, uint64_t time, uint64_t ncpus, int32_t top, uint64_t lim,
    int32_t b[ui_nstats_max])
{
	int idle = (int)ui_stats.size() - 1;

	if (time == 0 || ncpus == 0)
		return false;

	/* The denominator and every product of a sum below it with top must
	 * fit 64 bits: lim is 2^64 / top.  Past it, sums and elapsed time drop
	 * their low bits alike: a boundary moves by a few 256ths of a cell
	 * at most, and only at spans and heights far beyond real ones. */
	unsigned shift = 0;
	uint64_t denom;
	while (__builtin_mul_overflow(time, ncpus, &denom) || denom > lim) {
		time >>= 1;
		shift++;
	}

	uint64_t sum = 0;
	for (int k = 0; k < idle; k++) {
		if (__builtin_add_overflow(sum, rec->*ui_stats[k].field, &sum))
			sum = UINT64_MAX;
		uint64_t s = sum >> shift;
		/* clamped before the cut to 32 bits */
		b[k] = s >= denom ? top : (int32_t)(s * (uint64_t)top / denom);
	}
	b[idle] = top;
	return true;
}

/*
 * Walks one bar column from the bottom, cell by cell, writing the planes
 * at column offset base.  A cell wholly inside a band takes its colour; a
 * cell that boundaries cross shows the two bands that cover most of it.
 * Stops after the first cell that idle reaches.
 */
static void
walk_bar(const int32_t b[ui_nstats_max], int32_t rows, size_t base)
{
	int32_t c = 0, idle = (int32_t)ui_stats.size() - 1;

	for (int32_t j = 0; j < rows; j++) {
		int32_t bottom = 256 * j, topedge = 256 * (j + 1);
		size_t cell = base + (size_t)j;

		if (j > 0 && c == idle)
			break;
		if (b[c] >= topedge) {
			if (ui_mode == UI_MONO)
				ui_display[cell] = mono_glyph(c);
			else
				ui_back[cell] = ui_stats[c].color;
			continue;
		}

		/* coverage of each band in the cell; keep the two largest,
		 * the lower band winning ties */
		int32_t best = -1, second = -1, bestk = 0, secondk = 0;
		for (int32_t k = c;; k++) {
			int32_t lo = k == c ? bottom : b[k - 1];
			int32_t cov = std::min(b[k], topedge) - lo;
			if (cov > best) {
				second = best;
				secondk = bestk;
				best = cov;
				bestk = k;
			} else if (cov > second) {
				second = cov;
				secondk = k;
			}
			if (b[k] >= topedge) {
				c = k;
				break;
			}
		}
		if (best < 0 || second < 0)
			panic("bug: topVal={%d,%d}", best, second);

		if (ui_mode == UI_MONO) {
			ui_display[cell] = mono_glyph(bestk);
			continue;
		}
		if (ui_mode == UI_ASCII) {
			ui_back[cell] = ui_stats[bestk].color;
			continue;
		}
		int32_t lo = std::min(bestk, secondk), hi = std::max(bestk, secondk);
		int32_t lcov = lo == bestk ? best : second;
		int32_t e = lcov * 8 / (best + second);
		if (e >= 7) {
			ui_back[cell] = ui_stats[lo].color;
		} else {
			ui_display[cell] = (uint8_t)e;
			ui_fore[cell] = ui_stats[lo].color;
			ui_back[cell] = ui_stats[hi].color;
		}
	}
}

/* Adds up the bands of the online CPUs among ids first to first +
 * ui_group - 1 into *sum, saturating; returns how many there are. */
static uint64_t
sum_group(const cpustats *delta, int32_t first, cpustat *sum)
{
	int32_t end = std::min(first + ui_group, cpustats_cpus);
	uint64_t n = 0;

	*sum = {};
	for (int32_t cpu = first; cpu < end; cpu++) {
		const cpustat &rec = delta->cpus[cpu];
		if (rec.online != 1)
			continue;
		for (size_t k = 0; k + 1 < ui_stats.size(); k++) {
			uint64_t cpustat::*f = ui_stats[k].field;
			if (__builtin_add_overflow(sum->*f, rec.*f, &(sum->*f)))
				sum->*f = UINT64_MAX;
		}
		n++;
	}
	sum->online = n > 0;
	return n;
}

void
ui_compute_bars(const cpustats *delta)
{
	int32_t rows = ui_bar_length;
	size_t cells = (size_t)ui_bar_width * (size_t)rows;

	if (ui_mode != UI_ASCII) {
		std::memset(ui_display, 0, cells);
		std::memset(ui_fore, ui_nocolor, cells);
	}
	std::memset(ui_back, ui_nocolor, cells);
	if (rows < 1)
		return;

	int32_t top = rows * 256;
	const uint64_t lim = UINT64_MAX / (uint64_t)top;
	for (int32_t i = 0; i < ui_num_bars; i++) {
		const ui_bar &bar = ui_bars[i];
		const cpustat *rec = bar.cpu < 0 ? &delta->total : &delta->cpus[bar.cpu];
		/* avg and groups: their online CPUs' ticks over the elapsed
		 * time of all of them */
		uint64_t ncpus = bar.cpu < 0 ? (uint64_t)std::max(delta->num_online, 0) : 1;
		if (bar.cpu >= 0 && ui_group > 1) {
			rec = &ui_group_sums[i];
			ncpus = sum_group(delta, bar.cpu, &ui_group_sums[i]);
		}
		int32_t b[ui_nstats_max];
		size_t base = (size_t)bar.pos * (size_t)rows;

		/* counters not read on both sides of the delta (the aggregate
		 * line can stop counting while CPU lines go on): empty bar */
		if (rec->online != 1 || !bar_bounds(rec, delta->time, ncpus, top, lim, b))
			continue;
		walk_bar(b, rows, base);
		for (int32_t x = 1; x < bar.width; x++) {
			size_t to = base + (size_t)x * (size_t)rows;
			std::memcpy(ui_display + to, ui_display + base, (size_t)rows);
			std::memcpy(ui_fore + to, ui_fore + base, (size_t)rows);
			std::memcpy(ui_back + to, ui_back + base, (size_t)rows);
		}
	}
}

/* Colour state: -1 unset (start of a pane), 255 the terminal default
 * (reached only through sgr0), else the colour sent. */
void
ui_show_bars()
{
	int32_t rows = ui_bar_length;

	if (ui_num_panes < 1 || rows < 1)
		return;
	for (int32_t p = 0; p < ui_num_panes; p++) {
		const ui_pane &pn = ui_panes[p];
		int curf = -1, curb = -1;

		for (int32_t j = 0; j < rows; j++) {
			term_cup(LINES - pn.bottom - 1 - j, 0);

			int32_t end = 0;
			for (int32_t c = pn.start + pn.width - 1; c >= pn.start; c--) {
				size_t cell = (size_t)c * (size_t)rows + (size_t)j;
				if (ui_back[cell] != ui_nocolor || ui_display[cell] != 0) {
					end = c + 1;
					break;
				}
			}

			for (int32_t c = pn.start; c < end; c++) {
				size_t cell = (size_t)c * (size_t)rows + (size_t)j;
				const char *glyph = ui_chars[ui_display[cell] & 7];
				int b = ui_back[cell];
				/* a blank glyph shows no foreground: keep the one in force */
				int f = glyph[0] == ' ' && curf != -1 ? curf : ui_fore[cell];

				if (b != curb || f != curf) {
					if (b == ui_nocolor || f == ui_nocolor) {
						term_sgr0();
						if (b != ui_nocolor)
							term_setab(b);
						if (f != ui_nocolor)
							term_setaf(f);
					} else {
						if (b != curb)
							term_setab(b);
						if (f != curf)
							term_setaf(f);
					}
					curb = b;
					curf = f;
				}
				term_puts(glyph);
			}

			if (end < pn.start + pn.width) {
				if (curf != ui_nocolor || curb != ui_nocolor)
					term_sgr0();
				term_el();
				curf = curb = ui_nocolor;
			}
		}
	}
}

/* The prefix's leading blanks give way to a legend entry's own trailing
 * one, so -s keeps "steal" at 80 columns. */
void
ui_show_load(const load_avg *la)
{
	static constexpr char prefix[] = "  load: ";
	char buf[1024];
	int32_t width = row_room(0), plen = (int32_t)(sizeof(prefix) - 1);

	int len = std::snprintf(buf, sizeof(buf), "%0.2f %0.2f %0.2f",
	    (double)la->one, (double)la->five, (double)la->fifteen);
	len = std::min(len, (int)sizeof(buf) - 1);
	int32_t col = std::max(COLS - len - plen, 0);
	int32_t shown = len;
	while (shown > width - col - plen && shown > 0) {
		const char *sp = static_cast<const char *>(memrchr(buf, ' ', (size_t)shown));
		shown = sp != nullptr ? (int32_t)(sp - buf) : 0;
	}

	size_t drawn = legend_fit(ui_legend_width);
	size_t keep = legend_fit(shown > 0 ? std::min(width, col + 1) : width);
	int32_t from = INT32_MAX, end = ui_legend_width;
	if (keep < drawn || (keep > drawn && ui_load_col >= 0)) {
		/* entries restored only after an earlier line took them */
		from = keep < drawn ? legend_end(keep) : ui_legend_width;
		end = legend_end(keep);
	} else {
		keep = drawn;
	}
	int32_t over = end - col;
	int32_t skip = shown > 0 && over > 0 && over <= 2 ? over : 0;
	if (ui_load_col >= 0 && (shown == 0 || col + skip > ui_load_col))
		from = std::min(from, ui_load_col);
	if (from != INT32_MAX) {
		term_cup(0, from);
		term_sgr0();
		term_el();
		ui_load_col = -1;
	}
	draw_entries(drawn, keep, width - ui_legend_width);
	ui_legend_width = end;
	if (shown == 0)
		return;

	int32_t room = width - col - skip;
	term_cup(0, col + skip);
	term_sgr0();
	if (ui_mode != UI_MONO)
		term_setaf(7);
	put_clipped(prefix + skip, (size_t)(plen - skip), &room);
	term_sgr0();
	put_clipped(buf, (size_t)shown, &room);
	/* a shortened line takes the row: nothing stale beside it */
	if (shown < len && room > 0)
		term_el();
	ui_load_col = col + skip;
}

void
ui_park_cursor()
{
	if (!term_hides_cursor() && LINES > 0 && COLS > 0)
		term_cup(LINES - 1, COLS - 1);
}
