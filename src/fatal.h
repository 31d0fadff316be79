// SPDX-License-Identifier: BSD-2-Clause
/*
 * fatal: every failure in the program ends it here.
 *
 * panic() and epanic() first run the routine registered with
 * fatal_restore (the terminal's, which gives the screen back, so that
 * their single line lands on the normal screen), then print the line on
 * standard error and exit with status 255.  epanic() appends ": " and the
 * text of the errno in force when it was called.
 */
#ifndef FATAL_H
#define FATAL_H

/* What to undo before the message; one routine, replaced by a later call. */
void fatal_restore(void (*restore)());

[[noreturn]] void panic(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void epanic(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

#endif
