// SPDX-License-Identifier: BSD-2-Clause
/*
 * Stat text from the fuzzer, as two snapshots split at the first NUL,
 * with or without steal as the first byte says:
 * scanned (and checked against a plain sscanf scan of the same text),
 * differenced, laid out on a terminal size taken from the input,
 * rasterised and painted.  Checks the delta's invariants and that the
 * canvas holds only valid glyphs and colours.
 */
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define NCURSES_NOMACROS
#include <curses.h>

#include "cpustats.h"
#include "terminal.h"
#include "ui.h"

static constexpr int slots = 64;
static cpustats *snap[2], *ref[2], *delta;

/*
 * The scan by other means: the text is cut into lines first, and a line
 * whose values fail is read on from an offset within it; strtol takes the
 * number and sscanf the values, which may run on into later lines.
 */
static void
ref_scan(cpustats *st, const char *p)
{
	std::vector<size_t> starts = {0};
	for (size_t i = 0; p[i] != '\0'; i++)
		if (p[i] == '\n')
			starts.push_back(i + 1);

	for (int i = 0; i < cpustats_cpus; i++)
		st->cpus[i].online = 0;
	st->total.online = 0;
	st->num_online = st->max_cpu = 0;
	size_t line = 0, off = 0;
	while (line < starts.size() && std::strncmp(p + starts[line] + off, "cpu", 3) == 0) {
		char *vals = const_cast<char *>(p + starts[line] + off + 3);
		long cpu = LONG_MIN;	/* neither the total nor a CPU */
		if (*vals == ' ')
			cpu = -1;
		else if (std::isdigit((unsigned char)*vals))
			cpu = std::strtol(vals, &vals, 10);
		cpustat *rec = cpu == -1 ? &st->total : cpu >= 0 && cpu < cpustats_cpus ? &st->cpus[cpu] : nullptr;
		unsigned long long v[8] = {};
		int n = rec == nullptr ? 4 : cpustats_steal ?
		    std::sscanf(vals, " %llu %llu %llu %llu %llu %llu %llu %llu",
			&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]) :
		    std::sscanf(vals, " %llu %llu %llu %llu %llu %llu %llu",
			&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
		if (rec != nullptr) {
			/* what was converted stays, even from a line that fails;
			 * a short line has none of the values it lacks */
			uint64_t *field[8] = {&rec->user, &rec->nice, &rec->sys, nullptr,
			    &rec->iowait, &rec->irq, &rec->softirq,
			    cpustats_steal ? &rec->steal : nullptr};
			for (int k = 0; k < 8; k++)
				if (field[k] != nullptr && (k >= 4 || k < n))
					*field[k] = k < n ? v[k] : 0;
		}
		if (n < 4) {
			off = (size_t)(vals - (p + starts[line]));
			continue;
		}
		if (rec != nullptr) {
			rec->online = 1;
			st->num_online += cpu >= 0;
			st->max_cpu = std::max(st->max_cpu, (int)cpu);
		}
		line++;
		off = 0;
	}
}

static bool
same(const cpustat &a, const cpustat &b)
{
	return a.online == b.online && (!a.online || (a.user == b.user && a.nice == b.nice &&
	    a.sys == b.sys && a.iowait == b.iowait && a.irq == b.irq && a.softirq == b.softirq &&
	    a.steal == b.steal));
}

static void
check(bool ok, const char *what)
{
	if (!ok) {
		std::fprintf(stderr, "invariant broken: %s\n", what);
		std::abort();
	}
}

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	int null = open("/dev/null", O_WRONLY);
	dup2(null, 1);
	cpustats_size(slots);
	for (int i = 0; i < 2; i++) {
		snap[i] = cpustats_alloc();
		ref[i] = cpustats_alloc();
	}
	delta = cpustats_alloc();
	term_load("xterm-256color");
	ui_init(UI_UNICODE);
	return 0;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 3)
		return 0;
	/* steal, terminal size and elapsed ticks from the first bytes */
	cpustats_steal = data[0] >= 160;
	ui_select_stats(cpustats_steal);
	COLS = data[0] % 160;
	LINES = data[1] % 70;
	uint64_t elapsed = data[2];
	std::string text(reinterpret_cast<const char *>(data + 3), size - 3);
	size_t cut = text.find('\0');
	std::string second = cut == std::string::npos ? text : text.substr(cut + 1);

	for (int i = 0; i < 2; i++) {
		const char *t = i == 0 ? text.c_str() : second.c_str();
		cpustats_scan(snap[i], t);
		ref_scan(ref[i], t);
		check(snap[i]->num_online == ref[i]->num_online, "num_online as sscanf");
		check(snap[i]->max_cpu == ref[i]->max_cpu, "max_cpu as sscanf");
		check(same(snap[i]->total, ref[i]->total), "total as sscanf");
		for (int c = 0; c < slots; c++)
			check(same(snap[i]->cpus[c], ref[i]->cpus[c]), "cpu as sscanf");
	}
	snap[0]->time = 1000;
	snap[1]->time = 1000 + elapsed;

	cpustats_subtract(delta, snap[1], snap[0]);
	int online = 0, max = 0;
	for (int c = 0; c < slots; c++)
		if (delta->cpus[c].online) {
			online++;
			max = c;
		}
	check(delta->num_online == online && delta->max_cpu == max, "delta counts its online CPUs");

	ui_layout(delta);
	if (delta->time != 0) {
		ui_compute_bars(delta);
		size_t cells = (size_t)ui_bar_width * (size_t)ui_bar_length;
		for (size_t i = 0; i < cells; i++) {
			check(ui_display[i] <= 6, "glyph index 0..6");
			for (uint8_t col : {ui_fore[i], ui_back[i]})
				check(col == 255 || (col >= 1 && col <= (cpustats_steal ? 7 : 6)),
				    "colour of the stat table or 255");
		}
		ui_show_bars();
	}
	std::fflush(stdout);
	return 0;
}
