// SPDX-License-Identifier: BSD-2-Clause
/*
 * platform: the little that differs between FreeBSD and Linux.  One file
 * per system (platform_freebsd.cpp, platform_linux.cpp) defines these;
 * CMake picks the file.
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

/* Every per-CPU table is sized by the slot count: a hostile CPU list must
 * not size them by millions.  Well above any kernel's limit. */
inline constexpr int platform_max_slots = 65536;

#endif
