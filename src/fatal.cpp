// SPDX-License-Identifier: BSD-2-Clause
#include "fatal.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static void (*fatal_undo)();

void
fatal_restore(void (*restore)())
{
	fatal_undo = restore;
}

/* err is saved by epanic on entry: the restore routine makes system calls
 * of its own, which would otherwise replace the error being reported. */
[[noreturn]] static void
vpanic(bool with_err, int err, const char *fmt, va_list ap)
{
	if (fatal_undo != nullptr)
		fatal_undo();
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
