// SPDX-License-Identifier: BSD-2-Clause
/*
 * platform: the little that differs between FreeBSD and Linux.  One file
 * per system (platform_freebsd.cpp, platform_linux.cpp) defines these;
 * CMake picks the file.
 */
#ifndef PLATFORM_H
#define PLATFORM_H

#include <cstddef>

/* getopt(3) option string for the command line: parsing must stop at the
 * first argument that is not an option on every libc. */
extern const char platform_optstring[];

/* Number of CPU slots the kernel can have: fixed for the run, at least 1
 * and at most platform_max_slots, and above every CPU number the stat file
 * can show (lines beyond the last slot are ignored).  Fatal on failure. */
int platform_maxcpus();

/* Ticks per second in which the stat file counts; asked once, at
 * start-up.  Not always the C library's clock tick. */
long platform_stat_hz();

/*
 * The kernel's own per-CPU time counters, where a system has them: one
 * row of platform_cp_states counters per CPU id from 0 up, in the order of
 * the indices below; an id without a CPU has a row of zeros.  They count
 * ticks of platform_cp_hz per second.
 */
inline constexpr int platform_cp_user = 0;
inline constexpr int platform_cp_nice = 1;
inline constexpr int platform_cp_sys = 2;
inline constexpr int platform_cp_intr = 3;
inline constexpr int platform_cp_idle = 4;
inline constexpr int platform_cp_states = 5;

/* Rows of counters, fixed for the run; 0 where the system has none.
 * Fatal when it has them but they cannot be read. */
size_t platform_cp_rows();
long platform_cp_hz();
/* Fills rows * platform_cp_states counters; fatal on failure. */
void platform_cp_read(long *times, size_t rows);
/* The 1, 5 and 15 minute load averages from the kernel; fatal on failure. */
void platform_loadavg(double avg[3]);

/* Every per-CPU table is sized by the slot count: a hostile CPU list must
 * not size them by millions.  Well above any kernel's limit. */
inline constexpr int platform_max_slots = 65536;

#endif
