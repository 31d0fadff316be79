// SPDX-License-Identifier: BSD-2-Clause
/* The statistics source: discovery, the stat scan, deltas, load averages. */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "cpustats.h"
#include "platform.h"
#include "testutil.h"

namespace {

/* Opens dir as the procfs, with the given slot count. */
void
use_proc(const tempdir &dir, int slots)
{
	static const char *cand[1];
	static std::string path;
	path = dir.path;
	cand[0] = path.c_str();
	cpustats_candidates = cand;
	cpustats_findproc();
	cpustats_size(slots);
}

std::vector<int>
online_cpus(const cpustats *st)
{
	std::vector<int> v;
	for (int i = 0; i < cpustats_cpus; i++)
		if (st->cpus[i].online)
			v.push_back(i);
	return v;
}

std::string
fixture(const char *name)
{
	return read_file(std::string(FIXTURES_DIR) + "/" + name);
}

struct scan_case {
	const char *name;
	std::string text;
	int slots;
	std::vector<int> online;
	int max_cpu;
	bool total_online;
};

void
PrintTo(const scan_case &c, std::ostream *os)
{
	*os << c.name;
}

class Scan : public testing::TestWithParam<scan_case> {};

TEST_P(Scan, OnlineSetAndCounts)
{
	const scan_case &c = GetParam();
	cpustats_size(c.slots);
	cpustats *st = cpustats_alloc();

	cpustats_scan(st, c.text.c_str());
	EXPECT_EQ(online_cpus(st), c.online);
	EXPECT_EQ(st->num_online, (int)c.online.size());
	EXPECT_EQ(st->max_cpu, c.max_cpu);
	EXPECT_EQ(st->total.online, c.total_online);
}

INSTANTIATE_TEST_SUITE_P(Stat, Scan, testing::Values(
    scan_case{"four_values", "cpu  1 2 3 4\ncpu0 10 20 30 40\n", 8, {0}, 0, true},
    scan_case{"ten_values", "cpu  1 2 3 4 5 6 7 8 9 10\ncpu0 1 2 3 4 5 6 7 8 9 10\n", 8, {0}, 0, true},
    scan_case{"cpus_0_and_2", "cpu  1 2 3 4\ncpu0 1 2 3 4\ncpu2 1 2 3 4\n", 8, {0, 2}, 2, true},
    scan_case{"cpu_at_slot_count_skipped", "cpu  1 2 3 4\ncpu9 1 2 3 4\ncpu8 1 2 3 4\ncpu1 1 2 3 4\n", 8, {1}, 1, true},
    scan_case{"huge_cpu_number_skipped", "cpu  1 2 3 4\ncpu99999999999999999999999 1 2 3 4\ncpu1 1 2 3 4\n", 8, {1}, 1, true},
    scan_case{"cpu_number_2_64_plus_3_skipped", "cpu  1 2 3 4\ncpu18446744073709551619 1 2 3 4\ncpu1 1 2 3 4\n", 8, {1}, 1, true},
    scan_case{"cpu_and_letter_skipped", "cpu  1 2 3 4\ncpux 1 2 3 4\ncpu3 1 2 3 4\n", 8, {3}, 3, true},
    scan_case{"after_other_line_unread", "cpu  1 2 3 4\ncpu0 1 2 3 4\nintr 5\ncpu1 1 2 3 4\n", 8, {0}, 0, true},
    scan_case{"values_run_on_into_next_line", "cpu  1 2 3 4\ncpu0 1 2 3\n4 5\ncpu1 1 2 3 4\n", 8, {0}, 0, true},
    scan_case{"three_values_end_scan", "cpu  1 2 3 4\ncpu0 1 2 3 4\ncpu1 1 2 3\ncpu2 1 2 3 4\n", 8, {0}, 0, true},
    scan_case{"aggregate_three_values", "cpu  1 2 3\ncpu0 1 2 3 4\n", 8, {}, 0, false},
    scan_case{"empty", "", 8, {}, 0, false},
    scan_case{"no_newline_at_end", "cpu  1 2 3 4\ncpu1 1 2 3 4", 8, {1}, 1, true},
    scan_case{"garbage", "\x01\xff cpu0 1 2 3 4\n", 8, {}, 0, false},
    scan_case{"kernel_2_4", fixture("stat-linux-2.4-4cpu"), 8, {0, 1, 2, 3}, 3, true},
    scan_case{"kernel_2_6_offline_cpu", fixture("stat-linux-2.6.18-8cpu-offline"), 8, {0, 1, 3, 4, 5, 6, 7}, 7, true},
    scan_case{"kernel_6_18", fixture("stat-linux-6.18-2cpu"), 2, {0, 1}, 1, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Scan, ValuesLandInTheirFields)
{
	cpustats_size(4);
	cpustats *st = cpustats_alloc();

	cpustats_scan(st, "cpu  1 2 3 4 5 6 7 8 9 10\ncpu0 10 20 30 40\ncpu1 +5 -1 99999999999999999999999 0 1 2 3\n");
	const cpustat &t = st->total;
	EXPECT_EQ((std::array<uint64_t, 6>{t.user, t.nice, t.sys, t.iowait, t.irq, t.softirq}),
	    (std::array<uint64_t, 6>{1, 2, 3, 5, 6, 7}));
	const cpustat &c0 = st->cpus[0];
	EXPECT_EQ((std::array<uint64_t, 6>{c0.user, c0.nice, c0.sys, c0.iowait, c0.irq, c0.softirq}),
	    (std::array<uint64_t, 6>{10, 20, 30, 0, 0, 0}));
	/* what " %llu" makes of signs and overflow */
	EXPECT_EQ(st->cpus[1].user, 5u);
	EXPECT_EQ(st->cpus[1].nice, UINT64_MAX);
	EXPECT_EQ(st->cpus[1].sys, UINT64_MAX);

	cpustats_scan(st, "cpu  1 2 3 4\ncpu2 000000000000000000000000042 18446744073709551615 "
	    "18446744073709551616 5 12345678901234567890 -18446744073709551615 -123456789012345678\n");
	const cpustat &c2 = st->cpus[2];
	EXPECT_EQ((std::array<uint64_t, 6>{c2.user, c2.nice, c2.sys, c2.iowait, c2.irq, c2.softirq}),
	    (std::array<uint64_t, 6>{42, UINT64_MAX, UINT64_MAX, 12345678901234567890u, 1,
		0 - 123456789012345678u}));
	/* a four-value line leaves none of the last read's iowait, irq, softirq */
	EXPECT_EQ((std::array<uint64_t, 3>{t.iowait, t.irq, t.softirq}), (std::array<uint64_t, 3>{}));
	EXPECT_EQ(st->total.steal, 0u);	/* read only on request */

	/* steal: the eighth value, 0 on a line without one */
	cpustats_steal = true;
	cpustats_scan(st, "cpu  1 2 3 4 5 6 7 8 9 10\ncpu0 1 2 3 4 5 6 7 80\ncpu1 1 2 3 4 5 6 7 8\n");
	cpustats_scan(st, "cpu  1 2 3 4 5 6 7 8 9 10\ncpu0 10 20 30 40\ncpu1 1 2 3 4 5 6 7 81 9\n");
	cpustats_steal = false;
	EXPECT_EQ((std::array<uint64_t, 3>{st->total.steal, st->cpus[0].steal, st->cpus[1].steal}),
	    (std::array<uint64_t, 3>{8, 0, 81}));
}

TEST(Scan, OfflineCpuKeepsCountersAndUnreadTotalGoesOffline)
{
	cpustats_size(4);
	cpustats *st = cpustats_alloc();

	cpustats_scan(st, "cpu  1 2 3 4\ncpu0 1 2 3 4\ncpu1 7 8 9 10\n");
	cpustats_scan(st, "cpu  1 2 3\ncpu0 1 2 3 4\n");
	EXPECT_EQ(st->cpus[1].online, 0);
	EXPECT_EQ(st->cpus[1].user, 7u);
	EXPECT_EQ(st->num_online, 0);
	EXPECT_EQ(st->total.online, 0);
}

TEST(Readn, PipeInSmallPiecesAndExactSizes)
{
	int p[2];
	ASSERT_EQ(pipe(p), 0);
	pid_t pid = fork();
	if (pid == 0) {
		close(p[0]);
		for (const char *s : {"cpu", "  1 ", "2 3", " 4\n"}) {
			(void)!write(p[1], s, std::strlen(s));
			usleep(2000);
		}
		_exit(0);
	}
	close(p[1]);
	char buf[64];
	EXPECT_EQ(cpustats_readn(p[0], buf, sizeof(buf)), 13);
	EXPECT_STREQ(buf, "cpu  1 2 3 4\n");
	close(p[0]);
	waitpid(pid, nullptr, 0);

	tempdir dir;
	struct {
		std::string text;
		size_t size;
		std::string want;
	} cases[] = {
		{"", 10, ""},
		{"123456789", 10, "123456789"},		/* size - 1: whole */
		{"1234567890abc", 10, "123456789"},	/* longer: cut */
		{"short", 10, "short"},
	};
	for (const auto &c : cases) {
		dir.write("f", c.text);
		int fd = open((dir.path + "/f").c_str(), O_RDONLY);
		std::memset(buf, 'x', sizeof(buf));
		EXPECT_EQ(cpustats_readn(fd, buf, c.size), (ssize_t)c.want.size());
		EXPECT_EQ(std::string(buf), c.want);
		close(fd);
	}
	EXPECT_LT(cpustats_readn(-1, buf, sizeof(buf)), 0);
}

TEST(Findproc, FirstDirectoryWithBothFilesAndNoLeak)
{
	tempdir missing_loadavg, good, later;
	missing_loadavg.write("stat", "cpu  1 2 3 4\n");
	good.write("stat", "cpu  1 2 3 4\n");
	good.write("loadavg", "0 0 0\n");
	later.write("stat", "x");
	later.write("loadavg", "x");
	std::string nodir = good.path + "/nonexistent";
	const char *cand[] = {nodir.c_str(), missing_loadavg.path.c_str(), good.path.c_str(), later.path.c_str()};

	auto saved = cpustats_candidates;
	cpustats_candidates = cand;
	cpustats_findproc();
	int before = count_fds();
	cpustats_findproc();
	cpustats_candidates = saved;	/* cand dies with the test */
	EXPECT_EQ(count_fds(), before);
	EXPECT_STREQ(cpustats_proc_path, good.path.c_str());
	char buf[64];
	EXPECT_EQ(cpustats_readn(cpustats_fd, buf, sizeof(buf)), 13);
	EXPECT_EQ(cpustats_readn(cpustats_load_fd, buf, sizeof(buf)), 6);
}

TEST(Findproc, NoneQualifiesListsCandidates)
{
	tempdir a, b;
	a.write("stat", "");
	b.write("loadavg", "");
	std::string pa = a.path, pb = b.path;
	child_result r = run_child([&] {
		const char *cand[] = {pa.c_str(), pb.c_str()};
		cpustats_candidates = cand;
		platform_stats_open();
	});
	EXPECT_EQ(r.status, 255);
	EXPECT_EQ(r.err, "checked procfs candidates:\n\t" + pa + "\n\t" + pb +
	    "\nfailed to locate a suitable procfs with stat/loadavg\n");
	EXPECT_EQ(r.out, "");
}

TEST(Read, ThroughDescriptorTwiceAndStampsTime)
{
	tempdir dir;
	dir.write("stat", "cpu  1 2 3 4\ncpu0 1 2 3 4\ncpu1 1 2 3 4\n");
	dir.write("loadavg", "0 0 0\n");
	use_proc(dir, 4);
	cpustats *st = cpustats_alloc();

	/* the stamp follows the monotonic clock at the stat file's rate,
	 * whatever the C library's clock tick */
	for (uint64_t hz : {(uint64_t)platform_stat_hz(), uint64_t{128}}) {
		cpustats_hz = hz;
		auto now = [hz] {
			auto us = std::chrono::duration_cast<std::chrono::microseconds>(
			    std::chrono::steady_clock::now().time_since_epoch());
			return (uint64_t)us.count() * hz / 1000000;
		};
		uint64_t before = now();
		cpustats_read(st);
		uint64_t first = st->time;
		EXPECT_GE(first + 1, before) << hz;
		EXPECT_LE(first, now() + 1) << hz;
		usleep(200000);
		cpustats_read(st);
		EXPECT_GE(st->time - first + 1, hz / 5) << hz;
		EXPECT_LE(st->time, now() + 1) << hz;
	}
	cpustats_hz = (uint64_t)platform_stat_hz();
	EXPECT_EQ(st->num_online, 2);
	dir.write("stat", "cpu  1 2 3 4\ncpu0 1 2 3 4\n");
	cpustats_read(st);
	EXPECT_EQ(online_cpus(st), std::vector<int>{0});
}

TEST(Read, LineCutByFullBufferDoesNotCount)
{
	/* Two slots give the 4096-byte least buffer; pad the aggregate line
	 * with blanks so the buffer ends inside CPU 1's iowait, after four
	 * whole values: "cpu1 1 2 3 4 56|7890". */
	std::string head = "cpu  1 2 3 4\ncpu0 1 2 3 4\n";
	std::string pad(4095 - 15 - head.size(), ' ');
	std::string text = head.substr(0, 5) + pad + head.substr(5) + "cpu1 1 2 3 4 567890 0 0\n";
	tempdir dir;
	dir.write("stat", text);
	dir.write("loadavg", "0 0 0\n");
	use_proc(dir, 2);
	ASSERT_EQ(cpustats_buf_size, 4096);
	cpustats *st = cpustats_alloc();

	cpustats_read(st);
	EXPECT_EQ(online_cpus(st), std::vector<int>{0});
	EXPECT_EQ(st->cpus[1].iowait, 0u);
}

cpustat
rec(bool online, uint64_t base)
{
	return cpustat{online, base + 1, base + 2, base + 3, base + 4, base + 5, base + 6, base + 7};
}

TEST(Subtract, DeltaOfOnlineInBoth)
{
	cpustats_size(4);
	cpustats *a = cpustats_alloc(), *b = cpustats_alloc(), *d = cpustats_alloc();
	a->time = 100;
	b->time = 150;
	a->total = rec(true, 10);
	b->total = rec(true, 30);
	a->cpus[0] = rec(true, 0);	/* in both */
	b->cpus[0] = rec(true, 5);
	b->cpus[1] = rec(true, 5);	/* just came online */
	a->cpus[2] = rec(true, 5);	/* just went offline */
	a->cpus[3] = rec(true, 50);	/* counters went backwards */
	b->cpus[3] = rec(true, 40);
	b->cpus[3].user = 60;

	cpustats_subtract(d, b, a);
	EXPECT_EQ(d->time, 50u);
	EXPECT_EQ(d->total.user, 20u);
	EXPECT_EQ(d->total.softirq, 20u);
	EXPECT_EQ(d->total.steal, 20u);
	EXPECT_EQ(d->cpus[0].online, 1);
	EXPECT_EQ(d->cpus[0].sys, 5u);
	EXPECT_EQ(d->cpus[1].online, 0);
	EXPECT_EQ(d->cpus[2].online, 0);
	EXPECT_EQ(d->cpus[3].online, 1);
	EXPECT_EQ(d->cpus[3].user, 9u);
	EXPECT_EQ(d->cpus[3].nice, 0u);
	EXPECT_EQ(d->num_online, 2);
	EXPECT_EQ(d->max_cpu, 3);

	cpustats_subtract(d, a, b);	/* time went backwards too */
	EXPECT_EQ(d->time, 0u);

	cpustats_subtract(d, a, a);
	EXPECT_EQ(d->time, 0u);
	EXPECT_EQ(online_cpus(d), (std::vector<int>{0, 2, 3}));
	EXPECT_EQ(d->cpus[3].user, 0u);
	EXPECT_EQ(d->total.online, 1);
}

/* The kernel's counter rows (user nice sys intr idle by CPU id) read two
 * seconds apart at 127 Hz, with four slots. */
TEST(CpTimes, RowsIntoDeltas)
{
	struct {
		const char *name;
		std::vector<long> earlier, later;
		std::vector<int> online;
		std::array<uint64_t, 6> cpu0;	/* user nice sys iowait irq softirq */
		uint64_t total_busy;
	} cases[] = {
		/* ids 1 and 3 without a CPU, id 4 beyond the slots */
		{"absent_ids_and_gaps", {5, 0, 5, 0, 90, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 7, 7, 7, 7, 7},
		    {6, 0, 5, 0, 200, 0, 0, 0, 0, 0, 2, 2, 3, 4, 9, 0, 0, 0, 0, 0, 70, 7, 7, 7, 7},
		    {0, 2}, {1, 0, 0, 0, 0, 0}, 2},
		/* its bar comes a tick later; the sum has its ticks at once */
		{"cpu_appears", {1, 0, 1, 0, 10, 0, 0, 0, 0, 0}, {2, 0, 1, 0, 20, 3, 0, 0, 0, 4},
		    {0}, {1, 0, 0, 0, 0, 0}, 4},
		{"counters_backwards", {100, 0, 50, 0, 500}, {90, 0, 60, 0, 510}, {0}, {0, 0, 10, 0, 0, 0}, 10},
		/* busy ticks equal to the elapsed ticks: a full bar */
		{"busy_whole_interval", {0, 0, 0, 0, 50}, {100, 50, 80, 24, 50}, {0}, {100, 50, 80, 0, 24, 0}, 254},
	};
	cpustats_size(4);
	cpustats_hz = 127;
	for (const auto &c : cases) {
		cpustats *a = cpustats_alloc(), *b = cpustats_alloc(), *d = cpustats_alloc();
		cpustats_from_cp_times(a, 1700000000000000, c.earlier.data(), c.earlier.size() / 5);
		cpustats_from_cp_times(b, 1700000002000000, c.later.data(), c.later.size() / 5);
		cpustats_subtract(d, b, a);
		const cpustat &c0 = d->cpus[0], &t = d->total;
		EXPECT_EQ(d->time, 254u) << c.name;
		EXPECT_EQ(online_cpus(d), c.online) << c.name;
		EXPECT_EQ(d->num_online, (int)c.online.size()) << c.name;
		EXPECT_EQ(d->max_cpu, c.online.back()) << c.name;
		EXPECT_EQ((std::array<uint64_t, 6>{c0.user, c0.nice, c0.sys, c0.iowait, c0.irq, c0.softirq}), c.cpu0) << c.name;
		EXPECT_EQ(t.user + t.nice + t.sys + t.irq, c.total_busy) << c.name;
	}
	cpustats_hz = (uint64_t)platform_stat_hz();
}

TEST(SetsEqual, Table)
{
	cpustats_size(4);
	struct {
		std::vector<int> first, second;
		bool equal;
	} cases[] = {
		{{}, {}, true},
		{{0}, {}, false},
		{{0, 2}, {1, 2}, false},
		{{0, 1}, {0, 1}, true},
		{{0, 1, 3}, {0, 1, 3}, true},
		{{0, 3}, {0, 1}, false},
	};
	for (const auto &c : cases) {
		cpustats *snap[2] = {cpustats_alloc(), cpustats_alloc()};
		cpustats *delta[2] = {cpustats_alloc(), cpustats_alloc()};
		for (int s = 0; s < 2; s++) {
			for (int cpu : s == 0 ? c.first : c.second)
				snap[s]->cpus[cpu].online = 1;
			snap[s]->total.online = s;	/* never compared */
			cpustats_subtract(delta[s], snap[s], snap[s]);
		}
		EXPECT_EQ(cpustats_sets_equal(delta[0], delta[1]), c.equal);
		EXPECT_EQ(cpustats_sets_equal(delta[1], delta[0]), c.equal);
	}
}

TEST(Loadavg, ParseTable)
{
	struct {
		const char *text;
		bool ok;
		load_avg want;
	} cases[] = {
		{"0.52 0.58 0.59 1/189 12345\n", true, {0.52f, 0.58f, 0.59f}},
		{"\n  0.52\n\t0.58   0.59", true, {0.52f, 0.58f, 0.59f}},
		{"10.00 1.25 0.5", true, {10.0f, 1.25f, 0.5f}},
		{"0.52 0.58", false, {}},
		{"", false, {}},
		{"0,52 0,58 0,59", false, {}},
		{"load", false, {}},
	};
	for (const auto &c : cases) {
		load_avg la{};
		EXPECT_EQ(cpustats_parse_loadavg(&la, c.text), c.ok) << c.text;
		if (c.ok) {
			EXPECT_FLOAT_EQ(la.one, c.want.one);
			EXPECT_FLOAT_EQ(la.five, c.want.five);
			EXPECT_FLOAT_EQ(la.fifteen, c.want.fifteen);
		}
	}
}

TEST(Loadavg, KernelFiguresCutToHundredths)
{
	/* the kernel's fixed point, 2048ths: 0.5859375, 0.99951171875, 10 */
	const double avg[3] = {1200.0 / 2048, 2047.0 / 2048, 10.0};
	load_avg la{};
	cpustats_set_loadavg(&la, avg);
	EXPECT_FLOAT_EQ(la.one, 0.58f);
	EXPECT_FLOAT_EQ(la.five, 0.99f);
	EXPECT_FLOAT_EQ(la.fifteen, 10.0f);
}

TEST(Loadavg, ReadsFromStartEachTimeAndDiesOnGarbage)
{
	tempdir dir;
	dir.write("stat", "cpu  1 2 3 4\n");
	dir.write("loadavg", read_file(std::string(FIXTURES_DIR) + "/loadavg-linux"));
	use_proc(dir, 2);
	load_avg la{};
	cpustats_loadavg(&la);
	dir.write("loadavg", "1.5 2.5 3.5 1/1 1\n");
	cpustats_loadavg(&la);
	EXPECT_FLOAT_EQ(la.fifteen, 3.5f);

	dir.write("loadavg", "1,5 2,5 3,5\n");
	child_result r = run_child([&] {
		errno = 0;
		cpustats_loadavg(&la);
	});
	EXPECT_EQ(r.status, 255);
	EXPECT_EQ(r.err, "failed to parse " + dir.path + "/loadavg\n");
}

}
