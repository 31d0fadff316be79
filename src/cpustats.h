// SPDX-License-Identifier: BSD-2-Clause
/*
 * cpustats: the CPU statistics source.
 *
 * Finds a Linux-format procfs ("/proc", else "/compat/linux/proc"), keeps
 * its "stat" and "loadavg" files open for the whole run, and turns them
 * into counter snapshots, deltas of two snapshots and load averages.
 * Without a procfs it reads the kernel's own counters where the system has
 * them, into the same records.  Every
 * per-CPU array has cpustats_cpus slots, indexed by CPU number.  Text that
 * does not parse is never an error: the CPUs concerned read as offline.
 * After cpustats_init nothing here allocates.
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
	uint64_t time;		/* stat file ticks of time_usec's clock; elapsed in a delta */
	cpustat total;
	cpustat *cpus;		/* cpustats_cpus records */
};

struct load_avg {
	float one, five, fifteen;
};

extern int cpustats_fd;
extern int cpustats_load_fd;
extern const char *proc_path;
extern int32_t cpustats_cpus;
extern uint64_t cpustats_hz;	/* stat file ticks per second */
extern int32_t cpustats_buf_size;
extern char *cpustats_buf;
/* Read each line's eighth value, steal time, as well; off, it stays 0. */
extern bool cpustats_steal;

/* Directories tried, in order, by cpustats_findproc; tests point it
 * elsewhere. */
extern std::span<const char *const> cpustats_candidates;

/* Finds the procfs, sizes the tables, allocates the file buffer and
 * takes the stat file's tick rate. */
void cpustats_init();
/* Opens stat and loadavg in the first candidate holding both, else takes
 * the kernel's counters, or lists the candidates on standard error and
 * panics. */
void cpustats_findproc();
/* Sets the slot count and allocates the file buffer for it. */
void cpustats_size(int32_t cpus);

/* Reads fd to its end into buf (at most size - 1 bytes) and NUL-terminates
 * it; returns the bytes stored or the negative result of a failed read. */
ssize_t readn_str(int fd, char *buf, size_t size);

cpustats *cpustats_alloc();
/* Microseconds on the monotonic clock, which nobody sets: a step of the
 * wall clock changes no elapsed time. */
uint64_t time_usec();

/* Makes st a snapshot of the stat file. */
void cpustats_read(cpustats *st);
/* Clears st's online flags and scans the "cpu" lines at the top of text. */
void cpustats_scan(cpustats *st, const char *text);

/* Makes st a snapshot taken at usec (time_usec's microseconds) from
 * the kernel's counters: rows of platform_cp_states by CPU id, counting
 * cpustats_hz ticks per second. */
void cpustats_from_cp_times(cpustats *st, uint64_t usec, const long *times, size_t rows);

void cpustats_subtract(cpustats *result, const cpustats *later, const cpustats *earlier);
bool cpustats_sets_equal(const cpustats *first, const cpustats *second);

/* Fills la from the loadavg file; fatal on failure. */
void cpustats_loadavg(load_avg *la);
/* Parses the first three numbers of text; false unless all three convert. */
bool cpustats_parse_loadavg(load_avg *la, const char *text);
/* Sets la from the kernel's load averages, cut to hundredths as in the
 * loadavg file of FreeBSD's linprocfs. */
void cpustats_set_loadavg(load_avg *la, const double avg[3]);

#endif
