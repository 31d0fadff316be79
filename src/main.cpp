// SPDX-License-Identifier: BSD-2-Clause
/*
 * corelume: CPU usage as a bar chart in the terminal.
 *
 * One thread, one loop: wait for a key or the delay, snapshot the stat
 * file, difference it with the previous snapshot, lay the chart out again
 * after a resize or a change of online CPUs, draw the load line and the
 * bars, flush.
 */
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "corelume.h"
#include "cpustats.h"
#include "fatal.h"
#include "platform.h"
#include "terminal.h"
#include "ui.h"

/* Usage, help and error texts stay byte for byte: scripts match them.
 * -h shows the options it always showed; --help, which is newer, all. */
static const char help_options[] =
    "\nDisplay CPU usage as a bar chart.\n\nOptions:\n"
    "  -a       Use ASCII-only bars (instead of Unicode)\n"
    "  -d SECS  Specify delay between updates (decimals accepted)\n";
static const char help_newer[] =
    "  -g N     One bar per N CPUs; larger groups where those do not fit\n"
    "  -s       Show steal time (virtual machines) as a band of its own\n"
    "  --version  Print the version and exit\n";
static const char help_notes[] =
    "\nIf your bars look funky, use -a or specify LANG=C.\n\n"
    "For kernels prior to 2.6.37, using a small delay on a large system can\n"
    "induce significant system time overhead.\n";

static cpustats *records[4];

static void
usage(const char *argv0)
{
	std::fprintf(stderr, "Usage: %s [-a] [-d delay]\n", argv0);
}

/* Not option letters: -V stays unknown. */
static constexpr int opt_help = 256, opt_version = 257;

/*
 * getopt, with --help and --version wherever an option may stand.  No
 * libc here permutes (see platform_optstring), so argv[optind] is the
 * argument getopt would take next, never one inside a cluster.
 */
static int
next_option(int argc, char *argv[])
{
	if (optind < argc && std::strcmp(argv[optind], "--help") == 0) {
		optind++;
		return opt_help;
	}
	if (optind < argc && std::strcmp(argv[optind], "--version") == 0) {
		optind++;
		return opt_version;
	}
	return getopt(argc, argv, platform_optstring);
}

int
main(int argc, char *argv[])
{
	ui_drawing mode = UI_UNICODE;
	bool steal = false;
	int delay = 500;
	int32_t group = 1;
	int ch;

	while ((ch = next_option(argc, argv)) != -1) {
		switch (ch) {
		case 'a':
			mode = UI_ASCII;
			break;
		case 'd': {
			bool ok;
			delay = corelume_parse_delay(optarg, &ok);
			if (!ok) {
				std::fputs("Delay argument (-d) requires a number\n", stderr);
				std::exit(2);
			}
			break;
		}
		case 'g': {
			char *end;
			long n = std::strtol(optarg, &end, 10);
			if (end == optarg || *end != '\0' || n < 1) {
				std::fputs("Group argument (-g) requires a positive whole number\n", stderr);
				std::exit(2);
			}
			/* groups beyond every CPU slot all hold every CPU */
			group = (int32_t)std::min(n, (long)platform_max_slots);
			break;
		}
		case 's':
			steal = true;
			break;
		case 'h':
		case opt_help:
			usage(argv[0]);
			std::fputs(help_options, stderr);
			if (ch == opt_help)
				std::fputs(help_newer, stderr);
			std::fputs(help_notes, stderr);
			std::exit(0);
		case opt_version:
			std::printf("corelume %s\n", CORELUME_VERSION);
			if (std::fflush(stdout) != 0)
				epanic("failed to write the version");
			std::exit(0);
		default:
			usage(argv[0]);
			std::exit(2);
		}
	}
	if (optind < argc) {
		std::fputs("Unexpected arguments\n", stderr);
		std::exit(2);
	}

	corelume_signals_init();
	cpustats_steal = steal;
	platform_stats_open();
	term_init();
	ui_select_stats(steal);
	ui_init(mode);
	ui_group_asked = group;

	/* Four records whose roles rotate each tick; never copied, never
	 * freed (kept in records so they stay reachable to the end). */
	for (cpustats *&r : records)
		r = cpustats_alloc();
	cpustats *prev_snap = records[0], *new_snap = records[1];
	cpustats *prev_delta = records[2], *new_delta = records[3];
	struct pollfd pfd = {0, POLLIN, 0};
	struct timespec wait = {delay / 1000, (long)(delay % 1000) * 1000000};
	load_avg la;

	platform_stats_read(prev_snap);
	/* a snapshot minus itself: zero time, so no bars, but the online CPUs
	 * for the first layout */
	cpustats_subtract(prev_delta, prev_snap, prev_snap);
	ui_layout(prev_delta);
	ui_park_cursor();
	term_flush();

	for (;;) {
		char key = 0;

		corelume_wait(&pfd, delay < 0 ? nullptr : &wait);
		/* Back from a stop: what was typed meanwhile is gone, so look
		 * again; a terminal that hung up meanwhile shows POLLHUP. */
		bool cont = !need_exit && corelume_continued();
		if (cont) {
			term_retake();
			pfd.revents = 0;
			poll(&pfd, 1, 0);
		}
		/* A hung-up terminal reports POLLHUP and reads end of file;
		 * one left non-blocking by another program may have lost the
		 * key to it. */
		if (pfd.revents & (POLLIN | POLLHUP | POLLERR)) {
			ssize_t n = read(0, &key, 1);
			if (n < 0 && errno != EINTR && errno != EAGAIN)
				epanic("read failed");
			if (n == 0 || key == 'q')
				return 0;
		}

		platform_stats_read(new_snap);
		cpustats_subtract(new_delta, new_snap, prev_snap);
		/* a continue finds the size it may have missed; Ctrl-L redraws
		 * everything, as in other full-screen tools */
		bool resized = corelume_resized() || cont;
		if (resized)
			term_resize();
		if (resized || key == '\f' || !cpustats_sets_equal(new_delta, prev_delta))
			ui_layout(new_delta);
		platform_stats_loadavg(&la);
		ui_show_load(&la);
		if (new_delta->time != 0) {
			ui_compute_bars(new_delta);
			ui_show_bars();
		}
		ui_park_cursor();
		if (need_exit)
			return 0;
		term_flush();

		std::swap(prev_delta, new_delta);
		std::swap(prev_snap, new_snap);
	}
}
