// SPDX-License-Identifier: BSD-2-Clause
/*
 * FreeBSD: the slot count comes from the kern.smp.maxcpus sysctl; without
 * linprocfs the CPU times come from kern.cp_times and the load averages
 * from getloadavg(3).
 */
#include "platform.h"

#include <sys/types.h>
#include <sys/resource.h>
#include <sys/sysctl.h>
#include <sys/time.h>

#include <cstdlib>
#include <cstring>

#include "fatal.h"

/* kern.cp_times gives each CPU's CP_* counters in this order. */
static_assert(CP_USER == platform_cp_user && CP_NICE == platform_cp_nice &&
    CP_SYS == platform_cp_sys && CP_INTR == platform_cp_intr &&
    CP_IDLE == platform_cp_idle && CPUSTATES == platform_cp_states,
    "counter order of kern.cp_times");

/* FreeBSD's getopt never permutes, and would take "+" for an option. */
const char platform_optstring[] = "ad:g:hs";

/* kern.cp_times, looked up once: it is read every tick. */
static int cp_mib[CTL_MAXNAME];
static u_int cp_miblen;

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

/* One row per CPU id up to mp_maxid, a number fixed at boot. */
size_t
platform_cp_rows()
{
	size_t miblen = CTL_MAXNAME, len = 0;

	if (sysctlnametomib("kern.cp_times", cp_mib, &miblen) != 0 ||
	    sysctl(cp_mib, (u_int)miblen, nullptr, &len, nullptr, 0) != 0)
		epanic("failed to read kern.cp_times sysctl");
	cp_miblen = (u_int)miblen;
	return len / (sizeof(long) * CPUSTATES);
}

/* The counters advance at stathz, which the kernel reports as hz where
 * there is no separate statistics clock. */
long
platform_cp_hz()
{
	struct clockinfo ci;
	size_t len = sizeof(ci);
	int mib[2] = {CTL_KERN, KERN_CLOCKRATE};

	if (sysctl(mib, 2, &ci, &len, nullptr, 0) != 0)
		epanic("failed to read kern.clockrate sysctl");
	return ci.stathz > 0 ? ci.stathz : ci.hz;
}

void
platform_cp_read(long *times, size_t rows)
{
	size_t want = rows * CPUSTATES * sizeof(long), len = want;

	if (sysctl(cp_mib, cp_miblen, times, &len, nullptr, 0) != 0)
		epanic("failed to read kern.cp_times sysctl");
	/* rows not given read as CPU ids without a CPU */
	if (len < want)
		std::memset(reinterpret_cast<char *>(times) + len, 0, want - len);
}

void
platform_loadavg(double avg[3])
{
	/* getloadavg fails only when its vm.loadavg sysctl does */
	if (getloadavg(avg, 3) != 3)
		epanic("failed to read vm.loadavg sysctl");
}
