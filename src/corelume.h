// SPDX-License-Identifier: BSD-2-Clause
/*
 * corelume: the driver and the fatal error routines.
 *
 * Every failure in the program is fatal.  panic() and epanic() give the
 * terminal back first, so their single line lands on the normal screen,
 * then print it on standard error and exit with status 255.  epanic()
 * appends ": " and the text of the errno in force when it was called.
 */
#ifndef CORELUME_H
#define CORELUME_H

#include <csignal>

/* Set by the SIGINT, SIGTERM and SIGHUP handler; the loop quits after the
 * tick under way. */
extern volatile std::sig_atomic_t need_exit;

void on_sigint(int);

/* The number of a signal that ends the program at once (SIGQUIT and the
 * like), set by its handler; 0 while none has arrived. */
extern volatile std::sig_atomic_t fatal_signal;

void on_fatal_signal(int sig);

/* Gives the terminal back, then ends the process with sig's default
 * action, so a core is dumped where due and the parent sees the signal. */
[[noreturn]] void corelume_resignal(int sig);

/* Milliseconds of a -d argument in seconds, truncated toward zero; *ok is
 * false unless the whole argument is a number (an empty or blank one is
 * not).  NaN is not a number; infinities and values beyond an int clamp
 * to the int range (a huge negative delay waits without limit, as any
 * negative one does). */
int corelume_parse_delay(const char *arg, bool *ok);

[[noreturn]] void panic(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void epanic(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

#endif
