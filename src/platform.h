// SPDX-License-Identifier: BSD-2-Clause
/*
 * platform: what differs between FreeBSD and Linux, the statistics source
 * first.  One file per system (platform_freebsd.cpp, platform_linux.cpp)
 * defines these; CMake picks the file.
 */
#ifndef PLATFORM_H
#define PLATFORM_H

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

struct cpustats;
struct load_avg;

/*
 * The statistics source, each system's own.  platform_stats_open finds
 * it (the procfs, where cpustats_findproc finds one, else whatever the
 * system has; fatal when nothing serves), sizes the tables by the slot
 * count and sets cpustats_hz; then each tick platform_stats_read makes a
 * snapshot and platform_stats_loadavg reads the load averages, fatal on
 * failure.
 */
void platform_stats_open();
void platform_stats_read(cpustats *st);
void platform_stats_loadavg(load_avg *la);

/* Every per-CPU table is sized by the slot count: a hostile CPU list must
 * not size them by millions.  Well above any kernel's limit. */
inline constexpr int platform_max_slots = 65536;

#endif
