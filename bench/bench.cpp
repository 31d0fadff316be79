// SPDX-License-Identifier: BSD-2-Clause
/*
 * One tick of the statistics source (read + subtract, through a real
 * descriptor) and one tick of the display (rasterise, paint, load line,
 * into a discarding standard output), at several machine sizes; the
 * _steal variants with steal time read and drawn (-s).
 *
 *   build/bench/corelume_bench
 */
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#define NCURSES_NOMACROS
#include <curses.h>

#include "cpustats.h"
#include "terminal.h"
#include "ui.h"

namespace {

std::string bench_dir;

/* A stat file as a 10-field kernel in a guest writes it (some steal),
 * with the lines that follow the cpu lines. */
std::string
stat_text(int cpus, unsigned long long base)
{
	std::string s;
	char line[256];
	std::mt19937_64 rng(cpus);

	for (int i = -1; i < cpus; i++) {
		unsigned long long u = base + rng() % 100000, n = rng() % 1000, sy = base / 3 + rng() % 50000;
		int len = i < 0 ?
		    std::snprintf(line, sizeof(line), "cpu  %llu %llu %llu %llu %llu %llu %llu %llu 0 0\n",
			u * cpus, n * cpus, sy * cpus, base * 40ull * cpus, base / 50 * cpus, base / 90 * cpus, base / 70 * cpus,
			base / 200 * cpus) :
		    std::snprintf(line, sizeof(line), "cpu%d %llu %llu %llu %llu %llu %llu %llu %llu 0 0\n",
			i, u, n, sy, base * 40, base / 50, base / 90, base / 70, base / 200);
		s.append(line, (size_t)len);
	}
	s += "intr 1462898730 28 9 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
	s += "ctxt 2872935601\nbtime 1796795276\nprocesses 3123456\nprocs_running 3\nprocs_blocked 0\n";
	s += "softirq 123456789 10 2345678 3 456789 56789 0 67890 7890123 0 8901234\n";
	return s;
}

void
write_file(const std::string &path, const std::string &text)
{
	FILE *f = std::fopen(path.c_str(), "w");
	std::fwrite(text.data(), 1, text.size(), f);
	std::fclose(f);
}

/* Points the source at a synthetic procfs of n CPUs with n slots. */
void
setup_source(int cpus)
{
	static const char *cand[1];
	if (bench_dir.empty()) {
		char tmpl[] = "/tmp/clbenchXXXXXX";
		bench_dir = mkdtemp(tmpl);
	}
	write_file(bench_dir + "/stat", stat_text(cpus, 123456789));
	write_file(bench_dir + "/loadavg", "1.52 0.98 0.61 3/1234 56789\n");
	cand[0] = bench_dir.c_str();
	cpustats_candidates = cand;
	cpustats_findproc();
	cpustats_size(cpus);
}

void
source_tick(benchmark::State &state, bool steal)
{
	int cpus = (int)state.range(0);
	cpustats_steal = steal;
	setup_source(cpus);
	cpustats *prev = cpustats_alloc(), *next = cpustats_alloc(), *delta = cpustats_alloc();
	cpustats_read(prev);

	for (auto _ : state) {
		cpustats_read(next);
		cpustats_subtract(delta, next, prev);
		benchmark::DoNotOptimize(delta->num_online);
	}
	state.counters["cpus_online"] = next->num_online;
	cpustats_steal = false;
}

void
BM_source_tick(benchmark::State &state)
{
	source_tick(state, false);
}
BENCHMARK(BM_source_tick)->Arg(8)->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

void
BM_source_tick_steal(benchmark::State &state)
{
	source_tick(state, true);
}
BENCHMARK(BM_source_tick_steal)->Arg(8)->Arg(1024)->Unit(benchmark::kMicrosecond);

/* A delta of n CPUs whose counters are drawn at random (seeded), each CPU
 * busy for a random share of 50 elapsed ticks, then some steal if asked. */
cpustats *
random_delta(int cpus, bool steal)
{
	std::mt19937 rng(42);
	cpustats *d = cpustats_alloc();
	const uint64_t elapsed = 50;

	d->time = elapsed;
	d->total = {1, 0, 0, 0, 0, 0, 0};
	for (int i = 0; i < cpus; i++) {
		cpustat &c = d->cpus[i];
		uint64_t left = elapsed;
		c.online = 1;
		for (uint64_t cpustat::*f : {&cpustat::nice, &cpustat::user, &cpustat::sys,
			 &cpustat::iowait, &cpustat::irq, &cpustat::softirq}) {
			c.*f = rng() % (left / 2 + 1);
			left -= c.*f;
			d->total.*f += c.*f;
		}
		if (steal) {
			c.steal = rng() % (left / 2 + 1);
			d->total.steal += c.steal;
		}
	}
	d->num_online = cpus;
	d->max_cpu = cpus - 1;
	return d;
}

void
display_tick(const cpustats *d, const load_avg *la)
{
	ui_compute_bars(d);
	ui_show_bars();
	ui_show_load(la);
}

void
display_tick_run(benchmark::State &state, bool steal)
{
	int cpus = (int)state.range(0), cols = (int)state.range(1), rows = (int)state.range(2);

	cpustats_size(cpus);
	term_load("xterm-256color");
	LINES = rows;
	COLS = cols;
	ui_select_stats(steal);
	ui_init(UI_UNICODE);
	cpustats *d = random_delta(cpus, steal);
	load_avg la = {1.52f, 0.98f, 0.61f};

	/* bytes of one tick, measured through a file */
	std::fflush(stdout);
	int saved = dup(1);
	char path[] = "/tmp/clbenchoutXXXXXX";
	int fd = mkstemp(path);
	dup2(fd, 1);
	ui_layout(d);
	term_flush();
	off_t before = lseek(fd, 0, SEEK_END);
	display_tick(d, &la);
	term_flush();
	off_t after = lseek(fd, 0, SEEK_END);
	close(fd);
	unlink(path);

	int null = open("/dev/null", O_WRONLY);
	dup2(null, 1);
	close(null);
	for (auto _ : state) {
		display_tick(d, &la);
		term_flush();
	}
	dup2(saved, 1);
	close(saved);
	state.counters["bytes_per_tick"] = (double)(after - before);
	state.counters["panes"] = ui_num_panes;
	state.counters["bars"] = ui_num_bars;
	ui_select_stats(false);
}

void
BM_display_tick(benchmark::State &state)
{
	display_tick_run(state, false);
}
/* 1,024 CPUs on 80x24 draw a bar per group of 16 */
BENCHMARK(BM_display_tick)->Args({8, 80, 24})->Args({1024, 200, 60})->Args({1024, 80, 24})->Unit(benchmark::kMicrosecond);

void
BM_display_tick_steal(benchmark::State &state)
{
	display_tick_run(state, true);
}
BENCHMARK(BM_display_tick_steal)->Args({8, 80, 24})->Args({1024, 200, 60})->Unit(benchmark::kMicrosecond);

}

int
main(int argc, char **argv)
{
	benchmark::Initialize(&argc, argv);
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	if (!bench_dir.empty()) {
		std::error_code ec;
		std::filesystem::remove_all(bench_dir, ec);
	}
	return 0;
}
