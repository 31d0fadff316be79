// SPDX-License-Identifier: BSD-2-Clause
/*
 * Stat text from the fuzzer, as two snapshots split at the first NUL:
 * scanned (and checked against a plain sscanf scan of the same text),
 * differenced, laid out on a terminal size taken from the input,
 * rasterised and painted.  Checks the delta's invariants and that the
 * canvas holds only valid glyphs and colours.
 */
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define NCURSES_NOMACROS
#include <curses.h>

#include "cpustats.h"
#include "terminal.h"
#include "ui.h"

static constexpr int slots = 64;
static cpustats *snap[2], *ref[2], *delta;

/* The scan the way sscanf, strtol and strchr do it. */
static void
ref_scan(cpustats *st, const char *p)
{
	for (int i = 0; i < cpustats_cpus; i++)
		st->cpus[i].online = 0;
	st->num_online = st->max_cpu = 0;
	while (std::strncmp(p, "cpu", 3) == 0) {
		const char *line = p, *vals = p + 3;
		cpustat *rec = nullptr;
		long cpu = -1;
		if (*vals == ' ') {
			rec = &st->total;
		} else if (*vals >= '0' && *vals <= '9') {
			char *e;
			cpu = std::strtol(vals, &e, 10);
			vals = e;
			if (cpu < cpustats_cpus)
				rec = &st->cpus[cpu];
		}
		if (rec != nullptr) {
			unsigned long long idle;
			rec->iowait = rec->irq = rec->softirq = 0;
			int n = std::sscanf(vals, " %llu %llu %llu %llu %llu %llu %llu",
			    (unsigned long long *)&rec->user, (unsigned long long *)&rec->nice,
			    (unsigned long long *)&rec->sys, &idle, (unsigned long long *)&rec->iowait,
			    (unsigned long long *)&rec->irq, (unsigned long long *)&rec->softirq);
			if (n < 4) {
				p = vals;
				continue;
			}
			rec->online = 1;
			if (cpu >= 0) {
				st->num_online++;
				if (cpu > st->max_cpu)
					st->max_cpu = (int)cpu;
			}
		}
		const char *nl = std::strchr(line, '\n');
		p = nl != nullptr ? nl + 1 : line + std::strlen(line);
	}
}

static bool
same(const cpustat &a, const cpustat &b)
{
	return a.online == b.online && (!a.online || (a.user == b.user && a.nice == b.nice &&
	    a.sys == b.sys && a.iowait == b.iowait && a.irq == b.irq && a.softirq == b.softirq));
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
	ui_init(false);
	return 0;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 3)
		return 0;
	/* terminal size and elapsed ticks from the first bytes */
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
				check(col == 255 || (col >= 1 && col <= 6), "colour of the stat table or 255");
		}
		ui_show_bars();
	}
	std::fflush(stdout);
	return 0;
}
