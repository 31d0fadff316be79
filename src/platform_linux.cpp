// SPDX-License-Identifier: BSD-2-Clause
/*
 * Linux: the procfs's stat and loadavg files; the slot count is one more
 * than the highest CPU number the kernel could ever bring online
 * ("possible" CPUs), so that hot-plugged CPUs keep their slots for the
 * whole run.
 */
#include "platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include "cpustats.h"

/* "+" stops glibc's getopt from permuting: parsing ends at the first
 * argument that is not an option. */
const char platform_optstring[] = "+ad:g:hs";

/*
 * Highest CPU number in a sysfs CPU list such as "0-3,8-11\n", or -1 when
 * the text holds none.
 */
static long
cpulist_max(const char *s)
{
	long max = -1;

	while (*s != '\0') {
		if (*s < '0' || *s > '9') {
			s++;
			continue;
		}
		long v = 0;
		while (*s >= '0' && *s <= '9') {
			if (v < INT_MAX)
				v = v * 10 + (*s - '0');
			s++;
		}
		if (v > max)
			max = v;
	}
	return max;
}

/* The kernel reports USER_HZ ticks, which sysconf tells. */
long
platform_stat_hz()
{
	long hz = sysconf(_SC_CLK_TCK);

	return hz > 0 ? hz : 100;
}

int
platform_maxcpus()
{
	char buf[256];
	long max = -1;
	int fd = open("/sys/devices/system/cpu/possible", O_RDONLY | O_CLOEXEC);

	if (fd >= 0) {
		ssize_t n = read(fd, buf, sizeof(buf) - 1);
		close(fd);
		if (n > 0) {
			buf[n] = '\0';
			max = cpulist_max(buf);
		}
	}
	if (max >= 0)
		return max < platform_max_slots ? (int)max + 1 : platform_max_slots;
	long conf = sysconf(_SC_NPROCESSORS_CONF);
	if (conf < 1)
		return 1;
	return conf > platform_max_slots ? platform_max_slots : (int)conf;
}

/* The stat file is Linux's only source: without it there is nothing. */
void
platform_stats_open()
{
	if (!cpustats_findproc())
		cpustats_no_procfs();
	cpustats_size(platform_maxcpus());
	cpustats_hz = (uint64_t)platform_stat_hz();
}

void
platform_stats_read(cpustats *st)
{
	cpustats_read(st);
}

void
platform_stats_loadavg(load_avg *la)
{
	cpustats_loadavg(la);
}
