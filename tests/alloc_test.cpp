// SPDX-License-Identifier: BSD-2-Clause
/*
 * The sampling loop allocates nothing and leaks no descriptor: every heap
 * call of the process is counted while ticks run after start-up.  Built
 * without sanitizers, whose runtimes own malloc themselves.
 */
#include <gtest/gtest.h>

#include <cstdlib>

#include "cpustats.h"
#include "terminal.h"
#include "testutil.h"
#include "ui.h"

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

static bool counting;
static long heap_calls;

extern "C" void *
malloc(size_t n)
{
	heap_calls += counting;
	return __libc_malloc(n);
}

extern "C" void *
calloc(size_t n, size_t size)
{
	heap_calls += counting;
	return __libc_calloc(n, size);
}

extern "C" void *
realloc(void *p, size_t n)
{
	heap_calls += counting;
	return __libc_realloc(p, n);
}

extern "C" void
free(void *p)
{
	heap_calls += counting && p != nullptr;
	__libc_free(p);
}

namespace {

TEST(Loop, TicksAllocateNothingAndKeepDescriptors)
{
	tempdir dir;
	std::string stat = "cpu  100 2 30 4000 5 6 7 0 0 0\n";
	for (int i = 0; i < 64; i++)
		stat += "cpu" + std::to_string(i) + " 100 2 30 4000 5 6 7 0 0 0\n";
	dir.write("stat", stat + "intr 1 2 3\n");
	dir.write("loadavg", "0.52 0.58 0.59 1/123 4567\n");
	const char *cand[] = {dir.path.c_str()};
	auto defaults = cpustats_candidates;
	cpustats_candidates = cand;
	cpustats_findproc();
	cpustats_candidates = defaults;	/* cand dies with the test */
	cpustats_size(64);
	use_test_term(24, 80);
	ui_init(UI_UNICODE);

	cpustats *snap[2] = {cpustats_alloc(), cpustats_alloc()};
	cpustats *delta[2] = {cpustats_alloc(), cpustats_alloc()};
	load_avg la;
	cpustats_read(snap[0]);
	cpustats_subtract(delta[0], snap[0], snap[0]);

	auto tick = [&](int t) {
		cpustats *now = snap[(t + 1) % 2], *before = snap[t % 2];
		cpustats *d = delta[(t + 1) % 2], *prev = delta[t % 2];
		cpustats_read(now);
		now->time = before->time + 50;	/* elapsed time regardless of the clock */
		now->cpus[t % 64].user += 25;
		cpustats_subtract(d, now, before);
		if (!cpustats_sets_equal(d, prev))
			ui_layout(d);
		cpustats_loadavg(&la);
		ui_show_load(&la);
		ui_compute_bars(d);
		ui_show_bars();
		term_flush();
	};
	int fds = 0, fds_after = 0;
	capture_stdout([&] {
		ui_layout(delta[0]);
		tick(0);	/* the first capability instantiations may size library buffers */
		fds = count_fds();
		counting = true;
		for (int t = 1; t <= 200; t++)
			tick(t);
		counting = false;
		fds_after = count_fds();
	});
	EXPECT_EQ(heap_calls, 0);
	EXPECT_EQ(fds_after, fds);
}

}
