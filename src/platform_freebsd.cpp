// SPDX-License-Identifier: BSD-2-Clause
/*
 * FreeBSD: linprocfs's stat and loadavg files where it is mounted, else
 * the kernel's own counters, kern.cp_times, and getloadavg(3); the slot
 * count comes from the kern.smp.maxcpus sysctl.
 */
#include "platform.h"

#include <sys/types.h>
#include <sys/resource.h>
#include <sys/sysctl.h>
#include <sys/time.h>

#include <cstdlib>
#include <cstring>

#include "cpustats.h"
#include "fatal.h"

/* kern.cp_times gives each CPU's CP_* counters in this order. */
static_assert(CP_USER == cpustats_cp_user && CP_NICE == cpustats_cp_nice &&
    CP_SYS == cpustats_cp_sys && CP_INTR == cpustats_cp_intr &&
    CP_IDLE == cpustats_cp_idle && CPUSTATES == cpustats_cp_states,
    "counter order of kern.cp_times");

/* FreeBSD's getopt never permutes, and would take "+" for an option. */
const char platform_optstring[] = "ad:g:hs";

/* kern.cp_times, looked up once, and the rows read into cp_times each
 * tick (one per CPU id up to mp_maxid, a number fixed at boot); no rows
 * while linprocfs serves. */
static int cp_mib[CTL_MAXNAME];
static u_int cp_miblen;
static long *cp_times;
static size_t cp_rows;

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

/* The counters advance at stathz, which the kernel reports as hz where
 * there is no separate statistics clock. */
static long
cp_hz()
{
	struct clockinfo ci;
	size_t len = sizeof(ci);
	int mib[2] = {CTL_KERN, KERN_CLOCKRATE};

	if (sysctl(mib, 2, &ci, &len, nullptr, 0) != 0)
		epanic("failed to read kern.clockrate sysctl");
	long hz = ci.stathz > 0 ? ci.stathz : ci.hz;
	return hz > 0 ? hz : 100;
}

void
platform_stats_open()
{
	size_t miblen = CTL_MAXNAME, len = 0;

	if (cpustats_findproc()) {
		cpustats_hz = (uint64_t)platform_stat_hz();
	} else {
		if (sysctlnametomib("kern.cp_times", cp_mib, &miblen) != 0 ||
		    sysctl(cp_mib, (u_int)miblen, nullptr, &len, nullptr, 0) != 0)
			epanic("failed to read kern.cp_times sysctl");
		cp_miblen = (u_int)miblen;
		cp_rows = len / (sizeof(long) * CPUSTATES);
		if (cp_rows == 0)
			cpustats_no_procfs();
		cp_times = static_cast<long *>(std::calloc(cp_rows, CPUSTATES * sizeof(long)));
		if (cp_times == nullptr)
			epanic("allocating cpustats counter buffer");
		cpustats_hz = (uint64_t)cp_hz();
	}
	cpustats_size(platform_maxcpus());
}

void
platform_stats_read(cpustats *st)
{
	if (cp_rows == 0) {
		cpustats_read(st);
		return;
	}
	size_t want = cp_rows * CPUSTATES * sizeof(long), len = want;
	uint64_t usec = cpustats_time_usec();

	if (sysctl(cp_mib, cp_miblen, cp_times, &len, nullptr, 0) != 0)
		epanic("failed to read kern.cp_times sysctl");
	/* rows not given read as CPU ids without a CPU */
	if (len < want)
		std::memset(reinterpret_cast<char *>(cp_times) + len, 0, want - len);
	cpustats_from_cp_times(st, usec, cp_times, cp_rows);
}

void
platform_stats_loadavg(load_avg *la)
{
	double avg[3];

	if (cp_rows == 0) {
		cpustats_loadavg(la);
		return;
	}
	/* getloadavg fails only when its vm.loadavg sysctl does */
	if (getloadavg(avg, 3) != 3)
		epanic("failed to read vm.loadavg sysctl");
	cpustats_set_loadavg(la, avg);
}
