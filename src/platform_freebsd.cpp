// SPDX-License-Identifier: BSD-2-Clause
/* FreeBSD: the slot count comes from the kern.smp.maxcpus sysctl. */
#include "platform.h"

#include <sys/types.h>
#include <sys/sysctl.h>

#include "corelume.h"

/* FreeBSD's getopt never permutes, and would take "+" for an option. */
const char platform_optstring[] = "ad:hs";

/* linprocfs scales its counters to 100 Hz whatever stathz is, while
 * sysconf(_SC_CLK_TCK) answers CLK_TCK (128). */
long
platform_stat_hz()
{
	return 100;
}

int
platform_maxcpus()
{
	int ncpus = 0;
	size_t len = sizeof(ncpus);

	if (sysctlbyname("kern.smp.maxcpus", &ncpus, &len, nullptr, 0) != 0)
		epanic("failed to read kern.smp.maxcpus sysctl");
	if (ncpus < 1)
		return 1;
	return ncpus > platform_max_slots ? platform_max_slots : ncpus;
}
