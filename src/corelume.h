// SPDX-License-Identifier: BSD-2-Clause
/*
 * corelume: the signals, the wait between ticks and the delay argument.
 *
 * Every signal the program handles is installed here, from one table,
 * and every flag a handler sets lives here; the loop acts on them between
 * ticks.  Where the terminal must be given back at once (a signal that
 * ends the program, a stop), this module asks the terminal to.
 */
#ifndef CORELUME_H
#define CORELUME_H

#include <csignal>

/* Set by SIGINT, SIGTERM and SIGHUP; the loop quits after the tick under
 * way, and the program ends within about a second whatever blocks it. */
extern volatile std::sig_atomic_t need_exit;

/* True once after a continue (SIGCONT, or a stop the program came back
 * from): the terminal is to be taken again and the chart laid out. */
bool corelume_continued();
/* True once after a resize (SIGWINCH). */
bool corelume_resized();

/* Installs the handler of every signal the program handles.  Before
 * anything could block: from here on a signal ends the program whatever
 * it is doing. */
void corelume_signals_init();

struct pollfd;
struct timespec;
/* Waits for pfd's events for timeout (null: without limit), or until a
 * signal that the loop acts on arrives; does not wait when one arrived
 * since the last wait.  Then carries out a stop that SIGTSTP asked for,
 * unless quitting.
 * Fatal when the wait fails. */
void corelume_wait(struct pollfd *pfd, const struct timespec *timeout);

/* Milliseconds of a -d argument in seconds, truncated toward zero but
 * never to zero from a delay that is not: 1 above it, -1 below; *ok is
 * false unless the whole argument is a number (an empty or blank one is
 * not).  NaN is not a number; infinities and values beyond an int clamp
 * to the int range (a huge negative delay waits without limit, as any
 * negative one does). */
int corelume_parse_delay(const char *arg, bool *ok);

#endif
