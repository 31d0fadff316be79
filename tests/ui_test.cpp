// SPDX-License-Identifier: BSD-2-Clause
/*
 * The chart, byte for byte, through the readable "clterm" description:
 * glyphs, layout, rasteriser cell tables, painter streams and load line.
 */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "cpustats.h"
#include "terminal.h"
#include "testutil.h"
#include "ui.h"

namespace {

const char *const eighths[8] = {" ", "\u2581", "\u2582", "\u2583", "\u2584", "\u2585", "\u2586", "\u2587"};

void
set_mode(bool ascii)
{
	ui_mode = ascii ? UI_ASCII : UI_UNICODE;
	for (int k = 0; k < 8; k++)
		std::strcpy(ui_chars[k], ascii && k > 0 ? "" : eighths[k]);
}

const std::string legend =
    "<sgr0><clear><setab 2>  <sgr0> nice <setab 4>  <sgr0> user <setab 1>  <sgr0> sys "
    "<setab 6>  <sgr0> iowait <setab 5>  <sgr0> irq <setab 3>  <sgr0> softirq ";

/* A delta (zero time) whose online CPUs are those listed. */
cpustats *
delta_of(const std::vector<int> &online)
{
	cpustats *snap = cpustats_alloc(), *d = cpustats_alloc();
	snap->total.online = 1;
	for (int cpu : online)
		snap->cpus[cpu].online = 1;
	cpustats_subtract(d, snap, snap);
	return d;
}

std::vector<int>
range(int n)
{
	std::vector<int> v((size_t)n);
	std::iota(v.begin(), v.end(), 0);
	return v;
}

/* Table rows print as their names. */
template <typename T>
    requires requires(const T &c) { c.name; }
void
PrintTo(const T &c, std::ostream *os)
{
	*os << c.name;
}

struct layout_case {
	const char *name;
	int cols, lines;
	std::vector<int> online;
	int bar_width, bar_length;
	std::vector<ui_pane> panes;
	std::string labels;	/* output after the legend */
	std::string top = legend;	/* the legend as cut to the width */
	bool mono = false;	/* on clmono */
	bool steal = false;	/* the stat kinds with steal */
	int group = 1, asked = 1;	/* CPUs to a bar, and as asked (-g) */
	bool slice = false;	/* labels: a part of the output, not all of it */
};

std::vector<layout_case>
layout_cases()
{
	auto v512 = range(512), v1024 = range(1024);
	const std::string to_nice = legend.substr(0, legend.find("<setab 4>"));
	return {
	    {"80x24_8cpus", 80, 24, range(8), 19, 21, {{1, 0, 19}}, "<cup 23;0>avg 0 1 2 3 4 5 6 7"},
	    {"80x24_8cpus_steal", 80, 24, range(8), 19, 21, {{1, 0, 19}}, "<cup 23;0>avg 0 1 2 3 4 5 6 7",
		legend + "<setab 7>  <sgr0> steal ", false, true},
	    {"80x24_12cpus", 80, 24, range(12), 39, 21, {{1, 0, 39}},
		"<cup 23;0>avg 0  1  2  3  4  5  6  7  8  9  10 11"},
	    /* the label and pitch thresholds are strict: equality goes the
	     * narrow way */
	    {"82x24_26cpus_labels_at_threshold", 82, 24, range(26), 55, 20, {{2, 0, 55}},
		"<cup 22;0>avg 0 1 2 3 4 5 6 7 8 9 1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2\n"
		"                        0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5"},
	    {"80x24_38cpus_pitch_at_threshold", 80, 24, range(38), 42, 20, {{2, 0, 42}},
		"<cup 22;0>avg 01234567891111111111222222222233333333\n              0123456789012345678901234567"},
	    {"80x24_64cpus", 80, 24, range(64), 68, 20, {{2, 0, 68}},
		"<cup 22;0>avg 0123456789111111111122222222223333333333444444444455555555556666\n"
		"              012345678901234567890123456789012345678901234567890123"},
	    {"80x50_128cpus", 80, 50, range(128), 132, 21, {{27, 0, 79}, {3, 79, 53}},
		"<cup 23;0>avg 012345678911111111112222222222333333333344444444445555555555666666666677777\n"
		"              01234567890123456789012345678901234567890123456789012345678901234\n" + std::string(79, ' ') +
		"<cup 47;0>77777888888888899999999991111111111111111111111111111\n"
		"56789012345678901234567890000000000111111111122222222\n                         0123456789012345678901234567"},
	    {"cpus_0_2_3_5", 80, 24, {0, 2, 3, 5}, 11, 21, {{1, 0, 11}}, "<cup 23;0>avg 0 2 3 5"},
	    /* digits as many as the highest CPU number has */
	    {"cpus_0_to_9", 80, 24, range(10), 23, 21, {{1, 0, 23}}, "<cup 23;0>avg 0 1 2 3 4 5 6 7 8 9"},
	    {"cpus_0_3_12", 80, 24, {0, 1, 2, 3, 12}, 18, 21, {{1, 0, 18}}, "<cup 23;0>avg 0  1  2  3  12"},
	    {"cpus_0_to_10_horizontal", 80, 24, range(11), 36, 21, {{1, 0, 36}},
		"<cup 23;0>avg 0  1  2  3  4  5  6  7  8  9  10"},
	    {"cpus_0_to_10_vertical_pitch_2", 30, 24, range(11), 25, 20, {{2, 0, 25}},
		"<cup 22;0>avg 0 1 2 3 4 5 6 7 8 9 1\n" + std::string(24, ' ') + "0",
		legend.substr(0, legend.find("<setab 6>"))},
	    {"no_cpu_online", 80, 24, {}, 3, 21, {{1, 0, 3}}, "<cup 23;0>avg"},
	    {"lines_3", 80, 3, range(8), 3, 0, {}, "<cup 1;0>8 CPUs: enlarge to 80x4 to see each"},
	    {"cols_12_two_panes", 12, 24, range(8), 12, 10, {{12, 0, 11}, {1, 11, 1}},
		"<cup 12;0>avg 0123456<cup 23;0>7", to_nice},
	    /* the top pane's bars stay clear of row 1, under the legend */
	    {"cols_12_lines_25", 12, 25, range(8), 12, 10, {{12, 0, 11}, {1, 11, 1}},
		"<cup 13;0>avg 0123456<cup 24;0>7", to_nice},
	    {"cols_13_one_pane", 13, 24, range(8), 12, 21, {{1, 0, 12}}, "<cup 23;0>avg 01234567", to_nice},
	    {"pane_height_0", 12, 3, range(8), 3, 0, {}, "", to_nice},
	    {"cols_2", 2, 24, {0, 1}, 6, 2,
		{{16, 0, 1}, {13, 1, 1}, {10, 2, 1}, {7, 3, 1}, {4, 4, 1}, {1, 5, 1}},
		"<cup 8;0>a<cup 11;0>v<cup 14;0>g<cup 17;0> <cup 20;0>0<cup 23;0>1", "<sgr0><clear>"},
	    {"cols_1", 1, 24, range(8), 3, 0, {}, "", "<sgr0><clear>"},
	    /* a single row is the last one: its last column would scroll */
	    {"lines_1_last_column_left", 51, 1, range(8), 3, 0, {}, "", legend.substr(0, legend.size() - 1)},
	    {"lines_1_label_row_above_screen", 80, 1, range(64), 3, 0, {}, ""},
	    /* panes never share rows: groups in one pane and a note, up to the size it names */
	    {"80x24_512cpus", 80, 24, v512, 68, 19, {{3, 0, 68}},
		"<cup 21;0>avg 0812344567889111111111111222222222222233333333333344444444444445\n"
		"      64208642086012234566789001234456788901223456678900123445678890\n"
		"                 420864208642086420864208642086420864208642086420864"
		"<cup 1;0>512 CPUs, 8 to a bar: enlarge to 80x30 to see each", legend, false, false, 8},
	    {"40x12_128cpus", 40, 12, range(128), 36, 7, {{3, 0, 36}},
		"<cup 9;0>avg 04811222334445566677888991111111\n       26048260482604826048260001122\n"
		"                             0482604", legend.substr(0, legend.find("<setab 3>")), false, false, 4},
	    {"6x10_512cpus_too_narrow_for_groups", 6, 10, v512, 3, 7, {{1, 0, 3}}, "<cup 9;0>avg", "<sgr0><clear>"},
	    {"80x24_12cpus_g6_labels_as_wide_as_6", 80, 24, range(12), 7, 21, {{1, 0, 7}}, "<cup 23;0>avg 0 6", legend, false, false, 6, 6},
	    /* the end of a middle pane's labels and the last pane's */
	    {"80x30_512cpus", 80, 30, v512, 516, 1,
		{{27, 0, 79}, {23, 79, 79}, {19, 158, 79}, {15, 237, 79}, {11, 316, 79}, {7, 395, 79}, {3, 474, 42}},
		"0123456789<cup 27;0>444444444444444444444444444444555555555555\n777777777788888888889999999999000000000011\n"
		"012345678901234567890123456789012345678901", legend, false, false, 1, 1, true},
	    {"80x24_1024cpus", 80, 24, v1024, 68, 18, {{4, 0, 68}},
		"<cup 20;0>avg 0134689111111222222333333444444455555566666677777788888889999991\n"
		"     628406124679024578023568013468912467902457802356801346891246790\n"
		"           284062840628406284062840628406284062840628406284062840620\n" + std::string(67, ' ') +
		"8<cup 1;0>1024 CPUs, 16 to a bar: enlarge to 80x72 to see each", legend, false, false, 16},
	    {"80x24_4096cpus", 80, 24, range(4096), 68, 18, {{4, 0, 68}},
		"<cup 20;0>avg 0611233455677889111111111111111122222222222222233333333333333334\n"
		"     429528417406396001223445667789901123344566788900122334556778990\n"
		"      82604826048260285184073062952841740639628518407306295284174063\n"
		"                    482604826048260482604826048260482604826048260482"
		"<cup 1;0>4096 CPUs, 64 to a bar: enlarge to 80x262 to see each", legend, false, false, 64},
	    {"200x60_1024cpus", 200, 60, v1024, 1028, 5,
		{{49, 0, 199}, {40, 199, 199}, {31, 398, 199}, {22, 597, 199}, {13, 796, 199}, {4, 995, 33}},
		"<cup 56;0>999999999111111111111111111111111\n999999999000000000000000000000000\n"
		"123456789000000000011111111112222\n         012345678901234567890123", legend, false, false, 1, 1, true},
	    {"5x3", 5, 3, range(8), 3, 0, {}, "", "<sgr0><clear>"},
	    {"10x3", 10, 3, range(8), 3, 0, {}, "", to_nice},
	    {"lines_8388611", 80, 8388611, range(8), 19, ui_max_rows, {{1, 0, 19}}, "<cup 8388610;0>avg 0 1 2 3 4 5 6 7"},
	    {"cells_bounded", 600, 65535, v512, 516, (64 << 20) / 3 / 516, {{3, 0, 516}},
		"<cup 65532;0>avg 0123456789111111111122222222223333333333", legend, false, false, 1, 1, true},
	    {"no_colours", 80, 24, range(8), 19, 21, {{1, 0, 19}}, "<cup 23;0>avg 0 1 2 3 4 5 6 7",
		"<sgr0><clear>++ nice ## user %% sys :: iowait !! irq ~~ softirq ", true},
	    {"no_colours_steal", 80, 24, range(8), 19, 21, {{1, 0, 19}}, "<cup 23;0>avg 0 1 2 3 4 5 6 7",
		"<sgr0><clear>++ nice ## user %% sys :: iowait !! irq ~~ softirq == steal ", true, true},
	};
}

class Layout : public testing::TestWithParam<layout_case> {};

TEST_P(Layout, GeometryLegendAndLabels)
{
	const layout_case &c = GetParam();
	cpustats_size(4096);
	use_test_term(c.lines, c.cols, c.mono ? "clmono" : "clterm");
	set_mode(false);
	ui_select_stats(c.steal);
	if (c.mono)
		ui_init(UI_UNICODE);
	cpustats *d = delta_of(c.online);

	ui_group_asked = c.asked;
	std::string out = capture_stdout([&] { ui_layout(d); });
	ui_group_asked = 1;
	ui_select_stats(false);
	if (c.slice) {
		EXPECT_EQ(out.rfind(c.top, 0), 0u) << out;
		EXPECT_NE(out.find(c.labels, c.top.size()), std::string::npos) << out;
	} else {
		EXPECT_EQ(out, c.top + c.labels);
	}
	EXPECT_EQ(ui_bar_width, c.bar_width);
	EXPECT_EQ(ui_bar_length, c.bar_length);
	ASSERT_EQ(ui_num_panes, (int)c.panes.size());
	for (int p = 0; p < ui_num_panes; p++) {
		EXPECT_EQ(ui_panes[p].bottom, c.panes[p].bottom) << "pane " << p;
		EXPECT_EQ(ui_panes[p].start, c.panes[p].start) << "pane " << p;
		EXPECT_EQ(ui_panes[p].width, c.panes[p].width) << "pane " << p;
	}
	/* a canvas of 3 columns holds the avg bar alone */
	ASSERT_EQ(ui_num_bars, c.bar_width == 3 ? 1 : ((int)c.online.size() + c.group - 1) / c.group + 1);
	EXPECT_EQ(ui_bars[0].cpu, -1);
	for (int i = 1; i < ui_num_bars; i++)
		EXPECT_EQ(ui_bars[i].cpu, c.online[(size_t)((i - 1) * c.group)]);
}

INSTANTIATE_TEST_SUITE_P(Chart, Layout, testing::ValuesIn(layout_cases()),
    [](const auto &info) { return std::string(info.param.name); });

/* One cell as (display, fore, back). */
struct cell {
	int display, fore, back;
	bool operator==(const cell &) const = default;
};

std::ostream &
operator<<(std::ostream &os, const cell &c)
{
	return os << "{" << c.display << "," << c.fore << "," << c.back << "}";
}

/* Column col of the canvas, bottom row first. */
std::vector<cell>
column(int col)
{
	std::vector<cell> v;
	for (int j = 0; j < ui_bar_length; j++) {
		int i = col * ui_bar_length + j;
		v.push_back({ui_display[i], ui_fore[i], ui_back[i]});
	}
	return v;
}

/* On a terminal giving rows bar rows, the CPUs online, each with the
 * counters over the elapsed time: the cells of the first bar after avg
 * (column 4) in each drawing mode. */
struct raster_case {
	const char *name;
	int rows;
	uint64_t time;
	cpustat counters;
	std::vector<cell> unicode, ascii;
	std::vector<cell> mono = {};	/* checked when given */
	bool steal = false;	/* the stat kinds with steal */
	std::vector<int> online = {0};	/* each with the counters */
	int group = 1;	/* -g */
};

class Raster : public testing::TestWithParam<raster_case> {};

TEST_P(Raster, CellsOfCpuBar)
{
	const raster_case &c = GetParam();
	const std::vector<cell> *want[] = {&c.unicode, &c.ascii, &c.mono};	/* by ui_drawing */
	ui_select_stats(c.steal);
	ui_group_asked = c.group;
	cpustats_size(4);
	for (ui_drawing mode : {UI_UNICODE, UI_ASCII, UI_MONO}) {
		if (mode == UI_MONO && c.mono.empty())
			continue;
		use_test_term(c.rows + 3, 80, mode == UI_MONO ? "clmono" : "clterm");
		set_mode(mode == UI_ASCII);
		if (mode == UI_MONO)
			ui_init(UI_UNICODE);
		cpustats *d = delta_of(c.online);
		capture_stdout([&] { ui_layout(d); });
		d->time = c.time;
		for (int cpu : c.online)
			d->cpus[cpu] = c.counters;
		ui_compute_bars(d);
		EXPECT_EQ(column(4), *want[mode]) << mode;
	}
	ui_group_asked = 1;
	ui_select_stats(false);
}

/* cpustat fields: online, user, nice, sys, iowait, irq, softirq, steal */
const cell clear{0, 255, 255};
INSTANTIATE_TEST_SUITE_P(Chart, Raster, testing::Values(
    raster_case{"user30_sys20", 2, 100, {1, 30, 0, 20, 0, 0, 0},
	{{4, 4, 1}, {0, 1, 255}}, {{0, 255, 4}, {0, 255, 255}}, {{2, 255, 255}, clear}},
    raster_case{"e7_full_cell", 1, 100, {1, 90, 0, 0, 0, 0, 0}, {{0, 255, 4}}, {{0, 255, 4}}},
    raster_case{"e6", 1, 100, {1, 85, 0, 0, 0, 0, 0}, {{6, 4, 255}}, {{0, 255, 4}}},
    raster_case{"e0_two_largest_only", 1, 100, {1, 10, 10, 0, 0, 1, 0}, {{0, 4, 255}}, {{0, 255, 255}}},
    raster_case{"tie_lower_wins", 1, 100, {1, 50, 50, 0, 0, 0, 0}, {{4, 2, 4}}, {{0, 255, 2}}, {{1, 255, 255}}},
    raster_case{"more_ticks_than_elapsed", 3, 100, {1, 60, 60, 0, 0, 0, 0},
	{{0, 255, 2}, {6, 2, 4}, {0, 255, 4}}, {{0, 255, 2}, {0, 255, 2}, {0, 255, 4}},
	{{1, 255, 255}, {1, 255, 255}, {2, 255, 255}}},
    raster_case{"beyond_2_56_ticks", 2, 1ull << 57, {1, 1ull << 56, 0, 0, 0, 0, 0},
	{{0, 2, 4}, {0, 4, 255}}, {{0, 255, 4}, clear}},
    raster_case{"steal_below_idle", 2, 100, {1, 30, 0, 0, 0, 0, 0, 50},
	{{4, 4, 7}, {4, 7, 255}}, {{0, 255, 4}, {0, 255, 7}}, {{2, 255, 255}, {7, 255, 255}}, true},
    raster_case{"group_of_4_busy_but_0_and_3_offline_full", 2, 100, {1, 100, 0, 0, 0, 0, 0}, {{0, 2, 4}, {0, 255, 4}},
	{{0, 255, 4}, {0, 255, 4}}, {}, false, {1, 2}, 4},
    raster_case{"all_zero", 3, 100, {1, 0, 0, 0, 0, 0, 0},
	{{0, 2, 255}, clear, clear}, {{0, 255, 255}, clear, clear}},
    raster_case{"zero_rows", 0, 100, {1, 50, 0, 0, 0, 0, 0}, {}, {}},
    /* user + sys wraps to 0: the boundaries above user must not fall
     * below it */
    raster_case{"sum_past_2_64_saturates", 5, 3, {1, 1, 0, UINT64_MAX, 0, 0, 0},
	{{0, 2, 4}, {5, 4, 1}, {0, 255, 1}, {0, 255, 1}, {0, 255, 1}},
	{{0, 255, 4}, {0, 255, 4}, {0, 255, 1}, {0, 255, 1}, {0, 255, 1}}},
    /* sums far past the elapsed time: their products with the height
     * would pass 2^64, so they are clamped first */
    raster_case{"product_past_2_64_clamped", 2, 3, {1, 1ull << 62, 1ull << 62, 0, 0, 0, 1},
	std::vector<cell>(2, {0, 255, 2}), std::vector<cell>(2, {0, 255, 2})}),
    [](const auto &info) { return std::string(info.param.name); });

/* The avg bar, three columns wide, from the total line over the CPUs
 * online and the elapsed time. */
TEST(Raster, AvgBar)
{
	const uint64_t day = 8640000;	/* in ticks */
	struct {
		const char *name;
		std::vector<int> online;
		uint64_t time;
		cpustat total;
		std::vector<cell> want;
	} cases[] = {
		{"user50_sys25", {0, 1}, 100, {1, 100, 0, 50, 0, 0, 0}, {{0, 2, 4}, {0, 255, 4}, {4, 4, 1}, {6, 1, 255}, clear}},
		{"no_cpu_online", {}, 100, {1, 50, 0, 0, 0, 0, 0}, std::vector<cell>(5, clear)},
		/* num_online x time passes 2^32 */
		{"1024cpus_a_day_half_user", range(1024), day, {1, 1024 * day / 2, 0, 0, 0, 0, 0}, {{0, 2, 4}, {0, 4, 255}}},
		/* the aggregate line not read on both sides: no stale bar */
		{"total_not_online", range(1024), day, {0, 1024 * day / 2, 0, 0, 0, 0, 0}, {clear, clear}},
	};
	cpustats_size(1024);
	use_test_term(8, 1100);
	set_mode(false);
	std::vector<int> laid = {-1};
	cpustats *d = nullptr;
	for (const auto &c : cases) {
		if (c.online != laid) {	/* else drawn over the row before */
			d = delta_of(laid = c.online);
			capture_stdout([&] { ui_layout(d); });
		}
		d->time = c.time;
		d->total = c.total;
		ui_compute_bars(d);
		for (int col = 0; col < std::min(ui_bar_width, 4); col++)
			EXPECT_EQ(column(col), col < 3 ? c.want : std::vector<cell>(c.want.size(), clear)) << c.name << " " << col;
	}
}

/* Painter: hand-made canvases on LINES 24. */
struct paint_setup {
	int rows;
	std::vector<std::vector<cell>> columns;	/* each bottom row first */
	std::vector<ui_pane> panes;
};

std::string
paint(bool ascii, const paint_setup &s)
{
	use_test_term(24, 80);
	set_mode(ascii);
	cpustats_size(4);
	cpustats *d = delta_of({0});
	capture_stdout([&] { ui_layout(d); });	/* allocates state we replace */

	std::free(ui_panes);
	ui_num_panes = (int)s.panes.size();
	ui_panes = static_cast<ui_pane *>(std::malloc(sizeof(ui_pane) * s.panes.size() + 1));
	for (size_t p = 0; p < s.panes.size(); p++)
		ui_panes[p] = s.panes[p];
	ui_bar_length = s.rows;
	ui_bar_width = (int)s.columns.size();
	size_t cells = s.columns.size() * (size_t)s.rows + 1;
	for (uint8_t **plane : {&ui_display, &ui_fore, &ui_back}) {
		std::free(*plane);
		*plane = static_cast<uint8_t *>(std::malloc(cells));
	}
	for (size_t c = 0; c < s.columns.size(); c++)
		for (int j = 0; j < s.rows; j++) {
			size_t i = c * (size_t)s.rows + (size_t)j;
			ui_display[i] = (uint8_t)s.columns[c][(size_t)j].display;
			ui_fore[i] = (uint8_t)s.columns[c][(size_t)j].fore;
			ui_back[i] = (uint8_t)s.columns[c][(size_t)j].back;
		}
	return capture_stdout([] { ui_show_bars(); });
}

TEST(Painter, ExactStreams)
{
	const std::string g4 = "\u2584", g6 = "\u2586";
	const cell bar{4, 4, 1}, gap{0, 255, 255}, abar{0, 255, 4};
	struct {
		const char *name;
		bool ascii;
		paint_setup setup;
		std::string want;
	} cases[] = {
	    {"two_rows_with_gap", false, {2, {{bar, gap}, {bar, gap}, {bar, gap}, {gap, gap}, {bar, gap}}, {{1, 0, 5}}},
		"<cup 22;0><setab 1><setaf 4>" + g4 + g4 + g4 + "<sgr0><setaf 4> <setab 1>" + g4 +
		"<cup 21;0><sgr0><el>"},
	    {"two_rows_with_gap_ascii", true,
		{2, {{abar, gap}, {abar, gap}, {abar, gap}, {gap, gap}, {abar, gap}}, {{1, 0, 5}}},
		"<cup 22;0><sgr0><setab 4>   <sgr0> <sgr0><setab 4> <cup 21;0><sgr0><el>"},
	    {"space_keeps_foreground", false, {1, {{bar}, {{0, 255, 1}}, {bar}}, {{1, 0, 3}}},
		"<cup 22;0><setab 1><setaf 4>" + g4 + " " + g4},
	    {"glyph_on_default_background", false, {1, {{{6, 4, 255}}}, {{1, 0, 1}}},
		"<cup 22;0><sgr0><setaf 4>" + g6},
	    {"first_space_foreground_counts", false, {1, {{{0, 2, 255}}, {{0, 255, 4}}}, {{1, 0, 2}}},
		"<cup 22;0><sgr0><setaf 2> <setab 4> "},
	    {"last_column_cleared", false, {1, {{bar}, {gap}}, {{1, 0, 2}}},
		"<cup 22;0><setab 1><setaf 4>" + g4 + "<sgr0><el>"},
	    {"empty_row", false, {1, {{gap}, {gap}}, {{1, 0, 2}}}, "<cup 22;0><sgr0><el>"},
	    {"from_default_to_background", true, {1, {{gap}, {abar}}, {{1, 0, 2}}},
		"<cup 22;0><sgr0> <sgr0><setab 4> "},
	    {"two_panes_reset_state", false, {1, {{bar}, {bar}}, {{5, 0, 1}, {1, 1, 1}}},
		"<cup 18;0><setab 1><setaf 4>" + g4 + "<cup 22;0><setab 1><setaf 4>" + g4},
	    {"zero_rows", false, {0, {{}, {}}, {{1, 0, 2}}}, ""},
	};
	for (const auto &c : cases)
		EXPECT_EQ(paint(c.ascii, c.setup), c.want) << c.name;
}

/* A terminal that takes part of each write (non-blocking, slow to read)
 * still gets every byte once, in order. */
TEST(Painter, PartialWritesGoOnWhereTheyStopped)
{
	int p[2];
	ASSERT_EQ(pipe(p), 0);
	std::string sent, got;
	for (int i = 0; sent.size() < 300000; i++)
		sent += std::to_string(i) + ' ';
	std::thread reader([&] {
		char buf[4096];
		ssize_t n = 1;
		while (got.size() < sent.size() && n > 0) {
			usleep(1000);
			if ((n = read(p[0], buf, sizeof(buf))) > 0)
				got.append(buf, (size_t)n);
		}
	});
	child_result r = run_child([&] {
		alarm(5);	/* a writer that never ends fails */
		dup2(p[1], 1);
		fcntl(1, F_SETFL, O_NONBLOCK);
		term_write(sent.data(), sent.size());
		term_flush();
		std::_Exit(0);
	});
	close(p[1]);
	reader.join();
	close(p[0]);
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_TRUE(got == sent) << got.size() << " bytes of " << sent.size();
}

TEST(LoadLine, RightAlignedStreams)
{
	const load_avg ord = {0.52f, 0.58f, 0.59f};
	const std::string ord_text = "<sgr0>0.52 0.58 0.59";
	auto at = [](int col) { return "<cup 0;" + std::to_string(col) + "><sgr0><setaf 7>"; };
	struct {
		int cols;
		load_avg la;
		std::string want;
		int lines = 24;
		bool mono = false;
		int32_t legend = 0;	/* columns the legend takes */
		bool steal = false;
		int32_t load_col = -1;	/* where the line before began */
	} cases[] = {
		{80, {0.5f, 1.25f, 10.0f}, "<cup 0;57><sgr0><setaf 7>  load: <sgr0>0.50 1.25 10.00"},
		/* too narrow: only whole numbers, nothing past the edge */
		{20, {0.5f, 1.25f, 10.0f}, "<cup 0;0><sgr0><setaf 7>  load: <sgr0>0.50 1.25<el>"},
		{23, {0.5f, 1.25f, 10.0f}, "<cup 0;0><sgr0><setaf 7>  load: <sgr0>0.50 1.25<el>", 1},
		{10, {1e30f, 1.0f, 1.0f}, "", 24, false, 8},
		{80, {0.5f, 1.25f, 10.0f}, "<cup 0;57><sgr0>  load: <sgr0>0.50 1.25 10.00", 24, true},
		{23, {0.5f, 1.25f, 10.0f}, "<cup 0;0><sgr0><setaf 7>  load: <sgr0>0.50 1.25 10.00"},
		{80, {10.0f, 10.0f, 10.0f}, "<cup 0;55><sgr0><setaf 7>  load: <sgr0>10.00 10.00 10.00"},
		{80, {9.99f, 9.99f, 9.99f}, "<cup 0;58><sgr0><setaf 7>  load: <sgr0>9.99 9.99 9.99"},
		/* the legend of -s: its last name keeps its letters */
		{80, {9.99f, 9.99f, 9.99f}, "<cup 0;58><sgr0><setaf 7>  load: <sgr0>9.99 9.99 9.99", 24, false, 58},
		{80, {9.99f, 9.99f, 9.99f}, "<cup 0;60><sgr0><setaf 7>load: <sgr0>9.99 9.99 9.99", 24, false, 60},
		{80, {10.0f, 10.0f, 10.0f}, "<cup 0;55><sgr0><setaf 7>  load: <sgr0>10.00 10.00 10.00", 24, false, 60},
		/* legend entries the line would cover go whole, and come back */
		{52, ord, "<cup 0;23><sgr0><el>" + at(30) + "  load: " + ord_text, 24, false, 51},
		{60, ord, "<cup 0;40><sgr0><el>" + at(40) + "load: " + ord_text, 24, false, 51},
		{60, ord, "<cup 0;40><sgr0><el>" + at(40) + "load: " + ord_text, 24, false, 60, true},
		{68, ord, "<cup 0;40><sgr0><el>" + at(46) + "  load: " + ord_text, 24, false, 51},
		{68, ord, "<cup 0;40><sgr0><el>" + at(46) + "  load: " + ord_text, 24, false, 60, true},
		{72, ord, at(51) + " load: " + ord_text, 24, false, 51},
		{72, ord, "<cup 0;51><sgr0><el>" + at(51) + " load: " + ord_text, 24, false, 60, true},
		{80, {10.0f, 10.0f, 10.0f}, "<cup 0;51><sgr0><el>" + at(55) + "  load: <sgr0>10.00 10.00 10.00",
		    24, false, 60, true},
		{80, {100.0f, 100.0f, 100.0f}, "<cup 0;51><sgr0><el>" + at(52) + "  load: <sgr0>100.00 100.00 100.00",
		    24, false, 60, true},
		{80, {9.99f, 9.99f, 9.99f}, "<cup 0;51><sgr0><el><setab 7>  <sgr0> steal " + at(60) +
		    "load: <sgr0>9.99 9.99 9.99", 24, false, 51, true, 55},
		/* a shorter line leaves nothing of the longer one */
		{80, {9.99f, 9.99f, 9.99f}, "<cup 0;55><sgr0><el>" + at(58) + "  load: <sgr0>9.99 9.99 9.99",
		    24, false, 51, false, 55},
	};
	for (const auto &c : cases) {
		use_test_term(c.lines, c.cols);
		ui_mode = c.mono ? UI_MONO : UI_UNICODE;
		ui_legend_width = c.legend;
		ui_load_col = c.load_col;
		ui_select_stats(c.steal);
		EXPECT_EQ(capture_stdout([&] { ui_show_load(&c.la); }), c.want) << c.cols;
	}
	ui_select_stats(false);
	ui_mode = UI_UNICODE;
	ui_legend_width = 0;
}

TEST(Glyphs, LocaleAsciiFlagAndRestore)
{
	struct {
		const char *lc_all;
		bool ascii_flag;
		bool want_ascii;
		const char *want_1;
		const char *term = "clterm";
		const char *no_color = nullptr;
		bool want_mono = false;
	} cases[] = {
		{"C.UTF-8", false, false, "\xe2\x96\x81"},
		{"C", false, true, ""},
		{"C.UTF-8", true, true, ""},
		/* no colours: each band's own character, whatever the locale */
		{"C.UTF-8", false, false, "+", "clmono", nullptr, true},
		{"C", true, false, "+", "clterm", "1", true},
		{"C.UTF-8", false, false, "\xe2\x96\x81", "clterm", ""},
	};
	for (const auto &c : cases) {
		use_test_term(24, 80, c.term);
		std::memset(ui_chars, 0, sizeof(ui_chars));
		ui_mode = UI_UNICODE;
		setenv("LC_ALL", c.lc_all, 1);
		if (c.no_color != nullptr)
			setenv("NO_COLOR", c.no_color, 1);
		std::string before = std::setlocale(LC_CTYPE, nullptr);
		ui_init(c.ascii_flag ? UI_ASCII : UI_UNICODE);
		unsetenv("LC_ALL");
		unsetenv("NO_COLOR");
		EXPECT_EQ(std::string(std::setlocale(LC_CTYPE, nullptr)), before);
		EXPECT_EQ(ui_mode == UI_ASCII, c.want_ascii) << c.lc_all;
		EXPECT_EQ(ui_mode == UI_MONO, c.want_mono) << c.term;
		EXPECT_STREQ(ui_chars[0], " ");
		EXPECT_STREQ(ui_chars[1], c.want_1);
		if (!c.want_ascii && !c.want_mono) {
			EXPECT_STREQ(ui_chars[7], "\xe2\x96\x87");
		}
	}
}

}
