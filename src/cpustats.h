// SPDX-License-Identifier: BSD-2-Clause
/*
 * cpustats: the CPU statistics records and the Linux-format procfs.
 *
 * Finds a Linux-format procfs ("/proc", else "/compat/linux/proc"), keeps
 * its "stat" and "loadavg" files open for the whole run, and turns them
 * into counter snapshots, deltas of two snapshots and load averages; turns
 * a kernel's own counters into the same records.  Which of them a system
 * reads is its platform file's choice.  Every per-CPU array has
 * cpustats_cpus slots, indexed by CPU number.  Text that does not parse
 * is never an error: the CPUs concerned read as offline.  After start-up
 * nothing here allocates.
 */
#ifndef CPUSTATS_H
#define CPUSTATS_H

#include <cstddef>
#include <cstdint>
#include <span>

#include <sys/types.h>

/* Counters of one CPU or of the aggregate line, in stat file ticks. */
struct cpustat {
	uint8_t online;		/* counters read (in a delta: both sides read) */
	uint64_t user;
	uint64_t nice;
	uint64_t sys;
	uint64_t iowait;
	uint64_t irq;
	uint64_t softirq;
	uint64_t steal = 0;	/* taken by the hypervisor; read only with cpustats_steal */
};

/* A snapshot, or the delta of two snapshots. */
struct cpustats {
	int32_t num_online;	/* online per-CPU records, total not counted */
	int32_t max_cpu;	/* highest online CPU number, 0 when none */
	uint64_t time;		/* ticks of cpustats_time_usec's clock; elapsed in a delta */
	cpustat total;
	cpustat *cpus;		/* cpustats_cpus records */
};

struct load_avg {
	float one, five, fifteen;
};

extern int cpustats_fd;
extern int cpustats_load_fd;
extern const char *cpustats_proc_path;	/* the procfs found, null for none */
extern int32_t cpustats_cpus;
extern uint64_t cpustats_hz;	/* stat file ticks per second */
extern int32_t cpustats_buf_size;
extern char *cpustats_buf;
/* Read each line's eighth value, steal time, as well; off, it stays 0. */
extern bool cpustats_steal;

/* Directories tried, in order, by cpustats_findproc; tests point it
 * elsewhere. */
extern std::span<const char *const> cpustats_candidates;

/* Opens stat and loadavg in the first candidate holding both; false,
 * with nothing open, when none does. */
bool cpustats_findproc();
/* Lists the candidates on standard error and panics: no procfs, and
 * nothing else to read. */
[[noreturn]] void cpustats_no_procfs();
/* Sets the slot count and allocates the file buffer for it. */
void cpustats_size(int32_t cpus);

/* Reads fd to its end into buf (at most size - 1 bytes) and NUL-terminates
 * it; returns the bytes stored or the negative result of a failed read. */
ssize_t cpustats_readn(int fd, char *buf, size_t size);

cpustats *cpustats_alloc();
/* Microseconds on the monotonic clock, which nobody sets: a step of the
 * wall clock changes no elapsed time. */
uint64_t cpustats_time_usec();

/* Makes st a snapshot of the stat file: time stamp first, then the file
 * through the open descriptor, rewound for the next tick. */
void cpustats_read(cpustats *st);
/* Clears st's online flags and counts, then reads the run of "cpu" lines
 * at the top of text (ended by its first NUL): the aggregate line into
 * total, "cpuN" lines into cpus[N] for N below the slot count. */
void cpustats_scan(cpustats *st, const char *text);

/*
 * A kernel's own per-CPU time counters: one row of cpustats_cp_states
 * counters per CPU id from 0 up, in the order of the indices below; an
 * id without a CPU has a row of zeros.
 */
inline constexpr int cpustats_cp_user = 0;
inline constexpr int cpustats_cp_nice = 1;
inline constexpr int cpustats_cp_sys = 2;
inline constexpr int cpustats_cp_intr = 3;
inline constexpr int cpustats_cp_idle = 4;
inline constexpr int cpustats_cp_states = 5;

/* Makes st a snapshot taken at usec (cpustats_time_usec's microseconds)
 * from rows of such counters, counting cpustats_hz ticks per second: a
 * row of zeros reads as offline, ids from the slot count on are left out,
 * idle is dropped as with the stat file, and total is the sum of the
 * rows, as the aggregate line is: always online. */
void cpustats_from_cp_times(cpustats *st, uint64_t usec, const long *times, size_t rows);

/* Writes the delta of two snapshots into result: elapsed ticks and, for
 * the total and every CPU online in both, the counter differences.
 * Records offline in the delta keep their old counters.  later and earlier
 * may be the same record. */
void cpustats_subtract(cpustats *result, const cpustats *later, const cpustats *earlier);
/* True when both deltas have the same online CPUs.  Relies on the delta
 * invariant that the record at max_cpu is online when max_cpu >= 1. */
bool cpustats_sets_equal(const cpustats *first, const cpustats *second);

/* Fills la from the loadavg file; fatal on failure. */
void cpustats_loadavg(load_avg *la);
/* Parses the first three numbers of text; false unless all three convert. */
bool cpustats_parse_loadavg(load_avg *la, const char *text);
/* Sets la from the kernel's load averages, cut to hundredths as in the
 * loadavg file of FreeBSD's linprocfs. */
void cpustats_set_loadavg(load_avg *la, const double avg[3]);

#endif
