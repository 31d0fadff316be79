// SPDX-License-Identifier: BSD-2-Clause
/* Fatal error routines, the quit flag shared with the signal handlers and
 * the delay argument. */
#include "corelume.h"

#include <signal.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "terminal.h"

volatile std::sig_atomic_t need_exit;
volatile std::sig_atomic_t fatal_signal;

int
corelume_parse_delay(const char *arg, bool *ok)
{
	char *end;
	/* single precision, as -d has always been read: 0.251 is 250 ms */
	float ms = std::strtof(arg, &end) * 1000.0f;

	/* strtof converts nothing from an empty or blank argument */
	*ok = end != arg && *end == '\0' && !std::isnan(ms);
	if (!*ok)
		return -1;
	if (ms >= 2147483648.0f)
		return INT_MAX;
	if (ms <= -2147483648.0f)
		return INT_MIN;
	return (int)ms;
}

void
on_sigint(int)
{
	need_exit = 1;
}

void
on_fatal_signal(int sig)
{
	fatal_signal = sig;
}

/*
 * Raised while the loop holds the signal blocked, it goes off when it is
 * unblocked, after the terminal is back.
 */
void
corelume_resignal(int sig)
{
	struct sigaction sa {};
	sigset_t set;

	term_reset();
	sa.sa_handler = SIG_DFL;
	sigaction(sig, &sa, nullptr);
	raise(sig);
	sigemptyset(&set);
	sigaddset(&set, sig);
	sigprocmask(SIG_UNBLOCK, &set, nullptr);
	std::_Exit(128 + sig);	/* not reached: each such signal ends the process */
}

/*
 * Gives the terminal back, prints the message (and, when with_err is set,
 * ": " and the text of err) as one line on standard error and exits 255.
 * epanic saves errno on entry: restoring the terminal makes system calls
 * of its own, which would otherwise replace the error being reported.
 */
[[noreturn]] static void
vpanic(bool with_err, int err, const char *fmt, va_list ap)
{
	term_reset();
	std::vfprintf(stderr, fmt, ap);
	if (with_err) {
		std::fputs(": ", stderr);
		std::fputs(std::strerror(err), stderr);
	}
	std::fputc('\n', stderr);
	std::exit(-1);
}

void
panic(const char *fmt, ...)
{
	va_list ap;

	va_start(ap, fmt);
	vpanic(false, 0, fmt, ap);
}

void
epanic(const char *fmt, ...)
{
	int err = errno;
	va_list ap;

	va_start(ap, fmt);
	vpanic(true, err, fmt, ap);
}
