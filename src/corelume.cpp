// SPDX-License-Identifier: BSD-2-Clause
#include "corelume.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "fatal.h"
#include "terminal.h"

volatile std::sig_atomic_t need_exit;
static volatile std::sig_atomic_t need_resize, need_stop, need_cont;

int
corelume_parse_delay(const char *arg, bool *ok)
{
	char *end;
	errno = 0;
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
	/* Only zero means no pause: less than a millisecond either way still
	 * pauses, or waits for a key; a value too small for a float is not
	 * zero either (ERANGE, with its sign kept). */
	if ((int)ms == 0 && (ms != 0 || errno == ERANGE))
		return std::signbit(ms) ? -1 : 1;
	return (int)ms;
}

/* SIGALRM's action once a quit is under way, whatever it was inherited
 * with (ignored, it would disable the deadline). */
static struct sigaction sig_deadline;

/* Set by the SIGINT, SIGTERM and SIGHUP handler; a deadline for the tick
 * and the way out follows, as a read of a stat file that never answers, or
 * a write to a terminal whose output is stopped, would otherwise keep the
 * program alive. */
static void
on_sigint(int)
{
	if (!need_exit) {
		need_exit = 1;
		sigaction(SIGALRM, &sig_deadline, nullptr);
		alarm(1);
	}
}

static void
on_sigwinch(int)
{
	need_resize = 1;
}

static void
on_sigtstp(int)
{
	need_stop = 1;
}

static void
on_sigcont(int)
{
	need_cont = 1;
}

/* Runs with every signal held.  The signal raised again goes off on
 * return, with its default action; a fault recurs on return anyway. */
static void
on_fatal_signal(int sig)
{
	struct sigaction dfl {};

	term_restore_now();
	if (sig == SIGALRM && need_exit)	/* the quit's deadline */
		_exit(0);
	dfl.sa_handler = SIG_DFL;
	sigaction(sig, &dfl, nullptr);
	raise(sig);
}

/*
 * What a signal does: its handler, whether the loop checks the handler's
 * flag before its wait, and whether the signal stays ignored when whoever
 * started us ignored it.  Handlers only record, for the loop to act on
 * between ticks, except where the terminal must be given back at once:
 * then with async-signal-safe calls only.
 */
struct sig_role {
	void (*handler)(int);
	bool waited, keeps_ignored;
};
/* quit after the tick under way, or within a second if it blocks */
static const sig_role sig_quit = {on_sigint, true, true};
/* give the terminal back at once, then die of the signal */
static const sig_role sig_die = {on_fatal_signal, false, true};
/* the same; a fault cannot be ignored */
static const sig_role sig_fault = {on_fatal_signal, false, false};
/* give the terminal back and stop; take it again when continued */
static const sig_role sig_stop = {on_sigtstp, true, true};
/* take the terminal again and redraw */
static const sig_role sig_cont = {on_sigcont, true, false};
/* lay the chart out again */
static const sig_role sig_resize = {on_sigwinch, true, false};
/* a failed write is reported instead */
static const sig_role sig_ignore = {SIG_IGN, false, true};

static const struct {
	int sig;
	const sig_role &role;
} sig_table[] = {
	{SIGINT, sig_quit}, {SIGTERM, sig_quit}, {SIGHUP, sig_quit},
	{SIGQUIT, sig_die}, {SIGUSR1, sig_die}, {SIGUSR2, sig_die}, {SIGALRM, sig_die},
	{SIGVTALRM, sig_die}, {SIGPROF, sig_die}, {SIGXCPU, sig_die}, {SIGXFSZ, sig_die},
	{SIGSEGV, sig_fault}, {SIGBUS, sig_fault}, {SIGFPE, sig_fault}, {SIGILL, sig_fault},
	{SIGABRT, sig_fault}, {SIGTRAP, sig_fault}, {SIGSYS, sig_fault},
	{SIGTSTP, sig_stop}, {SIGCONT, sig_cont}, {SIGWINCH, sig_resize},
	{SIGPIPE, sig_ignore},
	/* where the system has them; SIGPOLL is SIGIO where that kills (on
	 * FreeBSD SIGIO is ignored by default, and there is no SIGPOLL) */
#ifdef SIGPOLL
	{SIGPOLL, sig_die},
#endif
#ifdef SIGPWR
	{SIGPWR, sig_die},
#endif
#ifdef SIGSTKFLT
	{SIGSTKFLT, sig_die},
#endif
#ifdef SIGEMT
	{SIGEMT, sig_die},
#endif
#ifdef SIGLOST
	{SIGLOST, sig_die},
#endif
#ifdef SIGLIBRT
	{SIGLIBRT, sig_die},
#endif
};

/* The signals whose flags the loop checks before its wait. */
static sigset_t sig_wait_set;

/*
 * Restarted calls: a read or a write interrupted by a handler that only
 * records goes on (the wait ends all the same: poll is never restarted).
 */
static struct sigaction
sig_action(const sig_role &r)
{
	struct sigaction sa {};

	sa.sa_handler = r.handler;
	sa.sa_flags = SA_RESTART;
	/* the terminal given back from the handler without a break */
	if (r.handler == on_fatal_signal)
		sigfillset(&sa.sa_mask);
	else
		sigemptyset(&sa.sa_mask);
	return sa;
}

static void
sig_install(int sig, const sig_role &r)
{
	struct sigaction sa = sig_action(r), old;

	if (r.waited)
		sigaddset(&sig_wait_set, sig);
	if (r.keeps_ignored && sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
		return;
	sigaction(sig, &sa, nullptr);
}

void
corelume_signals_init()
{
	sigset_t alrm;

	sigemptyset(&sig_wait_set);
	for (const auto &e : sig_table)
		sig_install(e.sig, e.role);
	/* The real-time signals kill by default too.  Those below SIGRTMIN
	 * (a call in glibc) belong to the C library's threads. */
	for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
		sig_install(sig, sig_die);

	/* the quit's deadline goes off even when SIGALRM came blocked */
	sig_deadline = sig_action(sig_die);
	sigemptyset(&alrm);
	sigaddset(&alrm, SIGALRM);
	sigprocmask(SIG_UNBLOCK, &alrm, nullptr);
}

/*
 * After SIGTSTP: stops with its default action, the terminal given back
 * first.  An orphaned process group (a session leader's, as when started
 * by a terminal emulator or tmux) is not stopped by the system, and goes
 * on at once.
 */
static void
corelume_stop()
{
	struct sigaction dfl {}, own;

	term_reset();
	dfl.sa_handler = SIG_DFL;
	sigaction(SIGTSTP, &dfl, &own);
	raise(SIGTSTP);
	sigaction(SIGTSTP, &own, nullptr);
	need_stop = 0;	/* a second Ctrl-Z meanwhile asked for this stop */
	need_cont = 1;
}

/*
 * The flags are checked with their signals held, and the wait lets them in
 * atomically: one that arrives in between ends the wait instead of being
 * missed, which with -d -1 would leave the program waiting for a key.
 */
void
corelume_wait(struct pollfd *pfd, const struct timespec *timeout)
{
	static const struct timespec no_wait = {0, 0};
	sigset_t open;

	sigprocmask(SIG_BLOCK, &sig_wait_set, &open);
	bool pending = need_exit || need_resize || need_stop || need_cont;
	pfd->revents = 0;
	int n = ppoll(pfd, 1, pending ? &no_wait : timeout, &open);
	int err = errno;
	sigprocmask(SIG_SETMASK, &open, nullptr);
	if (n < 0 && err != EINTR) {
		errno = err;
		epanic("poll failed");
	}
	/* quitting (a hang-up sends SIGCONT too): the terminal stays ours */
	if (need_stop && !need_exit)
		corelume_stop();
}

/* Each flag is cleared before it is acted on: a signal meanwhile is seen
 * at the next look. */
static bool
take(volatile std::sig_atomic_t *flag)
{
	if (!*flag)
		return false;
	*flag = 0;
	return true;
}

bool
corelume_continued()
{
	return take(&need_cont);
}

bool
corelume_resized()
{
	return take(&need_resize);
}
