// SPDX-License-Identifier: BSD-2-Clause
#include "cpustats.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fatal.h"

int cpustats_fd = -1;
int cpustats_load_fd = -1;
const char *cpustats_proc_path;
int32_t cpustats_cpus;
uint64_t cpustats_hz = 100;
int32_t cpustats_buf_size;
char *cpustats_buf;
bool cpustats_steal;

static constexpr const char *default_candidates[] = {
	"/proc",
	"/compat/linux/proc",
};
std::span<const char *const> cpustats_candidates = default_candidates;

/* Bytes of buffer per CPU slot, and the least buffer: the aggregate line
 * alone can outgrow 128 bytes on a machine with few slots. */
static constexpr int32_t buf_per_cpu = 128;
static constexpr int32_t buf_min = 4096;

/* No directory descriptor stays open; descriptors of an earlier call are
 * closed first. */
bool
cpustats_findproc()
{
	if (cpustats_fd >= 0)
		close(cpustats_fd);
	if (cpustats_load_fd >= 0)
		close(cpustats_load_fd);
	cpustats_fd = cpustats_load_fd = -1;
	cpustats_proc_path = nullptr;

	for (const char *dir : cpustats_candidates) {
		int dfd = open(dir, O_RDONLY | O_CLOEXEC);
		if (dfd < 0)
			continue;
		cpustats_fd = openat(dfd, "stat", O_RDONLY | O_CLOEXEC);
		if (cpustats_fd < 0) {
			close(dfd);
			continue;
		}
		cpustats_load_fd = openat(dfd, "loadavg", O_RDONLY | O_CLOEXEC);
		close(dfd);
		if (cpustats_load_fd < 0) {
			close(cpustats_fd);
			cpustats_fd = -1;
			continue;
		}
		cpustats_proc_path = dir;
		return true;
	}
	return false;
}

void
cpustats_no_procfs()
{
	std::fputs("checked procfs candidates:\n", stderr);
	for (const char *dir : cpustats_candidates)
		std::fprintf(stderr, "\t%s\n", dir);
	panic("failed to locate a suitable procfs with stat/loadavg");
}

void
cpustats_size(int32_t cpus)
{
	cpustats_cpus = cpus < 1 ? 1 : cpus;
	cpustats_buf_size = cpustats_cpus > INT32_MAX / buf_per_cpu ?
	    INT32_MAX : cpustats_cpus * buf_per_cpu;
	if (cpustats_buf_size < buf_min)
		cpustats_buf_size = buf_min;
	std::free(cpustats_buf);
	cpustats_buf = static_cast<char *>(std::malloc(cpustats_buf_size));
	if (cpustats_buf == nullptr)
		epanic("allocating cpustats file buffer");
}

/* Interrupted reads are retried: the handlers restart system calls, but
 * a handler installed without doing so must not make a resize fatal. */
ssize_t
cpustats_readn(int fd, char *buf, size_t size)
{
	size_t fill = 0;

	for (;;) {
		ssize_t n = read(fd, buf + fill, size - 1 - fill);
		if (n < 0) {
			if (errno == EINTR)
				continue;
			return n;
		}
		if (n == 0) {
			buf[fill] = '\0';
			return (ssize_t)fill;
		}
		fill += (size_t)n;
	}
}

cpustats *
cpustats_alloc()
{
	auto *st = static_cast<cpustats *>(std::calloc(1, sizeof(cpustats)));
	if (st == nullptr)
		epanic("allocating cpustats");
	st->cpus = static_cast<cpustat *>(std::calloc(cpustats_cpus, sizeof(cpustat)));
	/* the message is kept letter for letter, misspelling included:
	 * users and scripts may match it */
	if (st->cpus == nullptr)
		epanic("allocating per-CPU cputats");
	return st;
}

uint64_t
cpustats_time_usec()
{
	struct timespec ts;

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (uint64_t)ts.tv_sec * 1000000 + (uint64_t)ts.tv_nsec / 1000;
}

static bool
is_space(char c)
{
	return c == ' ' || (c >= '\t' && c <= '\r');
}

static bool
is_digit(char c)
{
	return (unsigned char)(c - '0') < 10;
}

/* Where one stat line's conversion stopped, and the first newline that its
 * white space crossed (null if none). */
struct scan_pos {
	const char *p;
	const char *newline;
};

/*
 * Converts one value the way " %llu" does, since that is what the stat
 * format was always read with: white space (newlines included), an
 * optional sign, then decimal digits; a value too large saturates and a
 * minus sign negates modulo 2^64.  Returns false when no digit follows.
 */
static bool
scan_u64(scan_pos *pos, uint64_t *out)
{
	const char *p = pos->p;
	bool neg = false, over = false;
	uint64_t v = 0;

	if (p[0] == ' ' && is_digit(p[1])) {
		p++;	/* the usual single blank */
	} else {
		for (; is_space(*p); p++)
			if (*p == '\n' && pos->newline == nullptr)
				pos->newline = p;
	}
	if (*p == '+' || *p == '-')
		neg = *p++ == '-';
	if (!is_digit(*p))
		return false;
	for (; is_digit(*p); p++) {
		uint64_t d = (uint64_t)(*p - '0');
		if (v >= UINT64_MAX / 10 && (v > UINT64_MAX / 10 || d > UINT64_MAX % 10))
			over = true;
		v = v * 10 + d;
	}
	pos->p = p;
	/* out of range: the largest value, whatever the sign */
	*out = over ? UINT64_MAX : neg ? 0 - v : v;
	return true;
}

/*
 * Converts the values of one stat line into rec (user nice sys idle iowait
 * irq softirq, then steal when cpustats_steal is set; idle is dropped).
 * Returns how many converted; values converted before a failure stay
 * stored.  Values a short line lacks (older kernels) read 0.
 */
static int
scan_values(scan_pos *pos, cpustat *rec)
{
	uint64_t idle;
	uint64_t *const dest[] = {
		&rec->user, &rec->nice, &rec->sys, &idle,
		&rec->iowait, &rec->irq, &rec->softirq,
	};
	int n = 0;

	rec->iowait = rec->irq = rec->softirq = 0;
	if (cpustats_steal)
		rec->steal = 0;
	for (uint64_t *d : dest) {
		if (!scan_u64(pos, d))
			break;
		n++;
	}
	if (n == 7 && cpustats_steal && scan_u64(pos, &rec->steal))
		n++;
	return n;
}

/* A line with fewer than four values is read on from where its values
 * began, which in stat text ends the scan.  total, like every CPU, is
 * online only when its line counts in this text: a stale total would make
 * deltas of two old totals. */
void
cpustats_scan(cpustats *st, const char *text)
{
	const char *p = text, *end = text + std::strlen(text);

	for (int32_t i = 0; i < cpustats_cpus; i++)
		st->cpus[i].online = 0;
	st->total.online = 0;
	st->num_online = 0;
	st->max_cpu = 0;

	while (end - p >= 3 && std::memcmp(p, "cpu", 3) == 0) {
		const char *vals = p + 3;
		cpustat *rec = nullptr;
		long cpu = -1;

		if (*vals == ' ') {
			rec = &st->total;
		} else if (is_digit(*vals)) {
			/* strtol's value, saturating at LONG_MAX */
			cpu = 0;
			for (; is_digit(*vals); vals++)
				cpu = cpu > (LONG_MAX - 9) / 10 ? LONG_MAX : cpu * 10 + (*vals - '0');
			if (cpu < cpustats_cpus)
				rec = &st->cpus[cpu];
		}

		/* the next line starts after the line's first newline */
		scan_pos pos = {vals, nullptr};
		if (rec != nullptr) {
			if (scan_values(&pos, rec) < 4) {
				/* Resume right after "cpu" or the number: in stat
				 * text that never begins with "cpu", so the scan
				 * ends ("cpu0cpu1 1 2 3 4" would go on with cpu1). */
				p = vals;
				continue;
			}
			rec->online = 1;
			if (cpu >= 0) {
				st->num_online++;
				if (cpu > st->max_cpu)
					st->max_cpu = (int32_t)cpu;
			}
		}

		const char *from = pos.newline != nullptr ? pos.newline : pos.p;
		const char *nl = static_cast<const char *>(std::memchr(from, '\n', (size_t)(end - from)));
		p = nl != nullptr ? nl + 1 : end;
	}
}

/* usec in ticks of cpustats_hz, in two parts: the product of a large
 * clock reading and the rate would overflow. */
static uint64_t
usec_ticks(uint64_t usec)
{
	return usec / 1000000 * cpustats_hz + usec % 1000000 * cpustats_hz / 1000000;
}

void
cpustats_read(cpustats *st)
{
	st->time = usec_ticks(cpustats_time_usec());

	ssize_t n = cpustats_readn(cpustats_fd, cpustats_buf, (size_t)cpustats_buf_size);
	if (n < 0)
		epanic("failed to read %s/stat", cpustats_proc_path);
	/* A full buffer may have cut the last line short, leaving a truncated
	 * number in it: keep only whole lines. */
	if (n == cpustats_buf_size - 1) {
		char *nl = static_cast<char *>(memrchr(cpustats_buf, '\n', (size_t)n));
		n = nl != nullptr ? nl + 1 - cpustats_buf : 0;
		cpustats_buf[n] = '\0';
	}
	cpustats_scan(st, cpustats_buf);

	if (lseek(cpustats_fd, 0, SEEK_SET) < 0)
		epanic("failed to seek %s/stat", cpustats_proc_path);
}

/* A running CPU has counted ticks since boot. */
void
cpustats_from_cp_times(cpustats *st, uint64_t usec, const long *times, size_t rows)
{
	cpustat sum{};
	size_t n = rows < (size_t)cpustats_cpus ? rows : (size_t)cpustats_cpus;

	st->time = usec_ticks(usec);
	st->num_online = 0;
	st->max_cpu = 0;
	for (int32_t i = 0; i < cpustats_cpus; i++)
		st->cpus[i].online = 0;
	for (size_t i = 0; i < n; i++) {
		const long *row = times + i * cpustats_cp_states;
		bool any = false;

		for (int k = 0; k < cpustats_cp_states; k++)
			any |= row[k] != 0;
		if (!any)
			continue;
		/* FreeBSD has no iowait, softirq or steal */
		cpustat *rec = &st->cpus[i];
		*rec = cpustat{1, (unsigned long)row[cpustats_cp_user],
		    (unsigned long)row[cpustats_cp_nice], (unsigned long)row[cpustats_cp_sys],
		    0, (unsigned long)row[cpustats_cp_intr], 0, 0};
		sum.user += rec->user;
		sum.nice += rec->nice;
		sum.sys += rec->sys;
		sum.irq += rec->irq;
		st->num_online++;
		st->max_cpu = (int32_t)i;
	}
	sum.online = 1;
	st->total = sum;
}

/* later - earlier, or 0 when the counter went backwards (iowait can, and a
 * CPU that went offline and back may restart its counters). */
static uint64_t
delta(uint64_t later, uint64_t earlier)
{
	return later >= earlier ? later - earlier : 0;
}

/* result = later - earlier for a record online in both, else offline. */
static void
subtract_one(cpustat *result, const cpustat *later, const cpustat *earlier)
{
	result->online = later->online == 1 ? earlier->online : 0;
	if (result->online != 1)
		return;
	result->user = delta(later->user, earlier->user);
	result->nice = delta(later->nice, earlier->nice);
	result->sys = delta(later->sys, earlier->sys);
	result->iowait = delta(later->iowait, earlier->iowait);
	result->irq = delta(later->irq, earlier->irq);
	result->softirq = delta(later->softirq, earlier->softirq);
	result->steal = delta(later->steal, earlier->steal);
}

void
cpustats_subtract(cpustats *result, const cpustats *later, const cpustats *earlier)
{
	result->num_online = 0;
	result->max_cpu = 0;
	result->time = delta(later->time, earlier->time);
	subtract_one(&result->total, &later->total, &earlier->total);
	for (int32_t i = 0; i < cpustats_cpus; i++) {
		subtract_one(&result->cpus[i], &later->cpus[i], &earlier->cpus[i]);
		if (result->cpus[i].online == 1) {
			result->num_online++;
			result->max_cpu = i;
		}
	}
}

bool
cpustats_sets_equal(const cpustats *first, const cpustats *second)
{
	if (first->max_cpu != second->max_cpu)
		return false;
	if (first->num_online != second->num_online)
		return false;
	for (int32_t i = 0; i < first->max_cpu; i++)
		if (first->cpus[i].online != second->cpus[i].online)
			return false;
	return true;
}

bool
cpustats_parse_loadavg(load_avg *la, const char *text)
{
	/* LC_NUMERIC is never changed from "C", so "." is the decimal point. */
	return std::sscanf(text, "%f %f %f", &la->one, &la->five, &la->fifteen) == 3;
}

void
cpustats_set_loadavg(load_avg *la, const double avg[3])
{
	float *dest[] = {&la->one, &la->five, &la->fifteen};

	for (int i = 0; i < 3; i++)
		*dest[i] = (float)(std::trunc(avg[i] * 100) / 100);
}

void
cpustats_loadavg(load_avg *la)
{
	if (cpustats_readn(cpustats_load_fd, cpustats_buf, (size_t)cpustats_buf_size) < 0)
		epanic("failed to read %s/loadavg", cpustats_proc_path);
	/* not a system error: no errno text */
	if (!cpustats_parse_loadavg(la, cpustats_buf))
		panic("failed to parse %s/loadavg", cpustats_proc_path);
	if (lseek(cpustats_load_fd, 0, SEEK_SET) < 0)
		epanic("failed to seek %s/loadavg", cpustats_proc_path);
}
