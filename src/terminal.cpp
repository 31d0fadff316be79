// SPDX-License-Identifier: BSD-2-Clause
/* Terminal modes through termios and terminfo; no curses screen is used. */
#include "terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <curses.h>
#include <term.h>

#include "corelume.h"

volatile std::sig_atomic_t term_need_resize, term_need_stop, term_need_cont;

static struct termios term_init_termios;
static volatile std::sig_atomic_t term_initialized;
/* File status flags of standard input and output at start-up; -1 when
 * they could not be read */
static int term_init_flags[2] = {-1, -1};

static void
term_on_sigwinch(int)
{
	term_need_resize = 1;
}

static void
term_on_sigtstp(int)
{
	term_need_stop = 1;
}

static void
term_on_sigcont(int)
{
	term_need_cont = 1;
}

/* terminfo's own output routine writes each byte straight to the
 * descriptor when no curses screen exists; ours keeps every byte in the
 * standard output stream, in order with the program's text. */
static int
term_outc(int c)
{
	return putchar_unlocked(c);
}

void
term_puts(const char *s)
{
	for (; *s != '\0'; s++)
		putchar_unlocked(*s);
}

static bool
term_has(const char *cap)
{
	return cap != nullptr && cap != (const char *)-1;
}

void
term_putp(const char *cap)
{
	if (!term_has(cap))
		return;
	/* tputs only matters from the first padding ("$<ms>") on */
	for (const char *p = cap; *p != '\0'; p++) {
		if (p[0] == '$' && p[1] == '<') {
			tputs(p, 1, term_outc);
			return;
		}
		putchar_unlocked(*p);
	}
}

/*
 * Instantiated parameterised capabilities, remembered by capability and
 * parameters: tiparm costs more than the rest of a tick's drawing.  An
 * entry holds only while the description it came from is loaded (term_gen
 * counts the loads), so a reloaded description is always honoured.
 */
struct term_memo {
	const char *cap;	/* null when unused */
	unsigned gen;
	int p1, p2;
	char out[32];
};
static term_memo term_memos[512];
static unsigned term_gen;

/*
 * After a description is loaded: voids the remembered capabilities of the
 * one before, and sets LINES and COLS from the window size the terminal
 * reports, on standard output or else standard input.  The terminfo
 * library prefers LINES and COLUMNS from the environment, which may be
 * stale; they and the description's size apply only when the terminal
 * cannot say.
 */
static void
term_loaded()
{
	struct winsize ws;

	term_gen++;
	for (int fd : {1, 0}) {
		if (ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0) {
			LINES = ws.ws_row;
			COLS = ws.ws_col;
			return;
		}
	}
}

void
term_load(const char *name)
{
	setupterm(name, 1, nullptr);
	term_loaded();
}

static const char no_cup[] = "failed to use terminal \"%s\": it cannot position the cursor (no cup)";

static const char *
term_name()
{
	const char *name = std::getenv("TERM");

	return name != nullptr ? name : "";
}

static void
term_tiparm(const char *cap, int p1, int p2)
{
	if (!term_has(cap))
		return;
	size_t slot = ((uintptr_t)cap >> 4 ^ (unsigned)p1 * 31 ^ (unsigned)p2 * 131) % std::size(term_memos);
	term_memo &m = term_memos[slot];
	if (m.cap == cap && m.gen == term_gen && m.p1 == p1 && m.p2 == p2) {
		term_putp(m.out);
		return;
	}
	const char *out = tiparm(cap, p1, p2);
	if (out == nullptr)
		return;
	if (std::strlen(out) < sizeof(m.out)) {
		m = {cap, term_gen, p1, p2, {}};
		std::strcpy(m.out, out);
	}
	term_putp(out);
}

void
term_cup(int row, int col)
{
	term_tiparm(cursor_address, row, col);
}

void
term_setaf(int color)
{
	term_tiparm(set_a_foreground, color, 0);
}

void
term_setab(int color)
{
	term_tiparm(set_a_background, color, 0);
}

void
term_sgr0()
{
	term_putp(exit_attribute_mode);
}

void
term_el()
{
	term_putp(clr_eol);
}

void
term_clear()
{
	term_putp(clear_screen);
}

bool
term_has_colors()
{
	return cur_term != nullptr && term_has(set_a_foreground) && term_has(set_a_background) &&
	    max_colors >= 8;
}

bool
term_wraps_at_margin()
{
	return cur_term != nullptr && auto_right_margin && !eat_newline_glitch;
}

bool
term_hides_cursor()
{
	return cur_term != nullptr && term_has(cursor_invisible);
}

void
term_flush()
{
	if (std::fflush(stdout) != 0 || std::ferror(stdout))
		epanic("failed to write to the terminal");
}

/*
 * Program mode: descriptors blocking (another program on the tty may
 * have left them non-blocking, and a write would then drop bytes),
 * alternate screen, hidden cursor, raw input.  Input typed before is
 * discarded.  Assumes the start-up attributes and flags are saved.
 */
static void
term_enter()
{
	struct termios t = term_init_termios;

	for (int fd : {0, 1})
		if (term_init_flags[fd] >= 0 && (term_init_flags[fd] & O_NONBLOCK))
			fcntl(fd, F_SETFL, term_init_flags[fd] & ~O_NONBLOCK);
	term_initialized = 1;

	term_putp(enter_ca_mode);
	term_putp(cursor_invisible);

	t.c_iflag &= ~ICRNL;
	t.c_lflag &= ~(ICANON | ECHO);
	t.c_lflag |= ISIG;
	t.c_cc[VMIN] = 1;
	t.c_cc[VTIME] = 0;
	if (tcsetattr(0, TCSAFLUSH, &t) < 0)
		epanic("failed to set terminal attributes");
}

/*
 * Loads the terminal description (which sets LINES and COLS) and refuses
 * one that cannot position the cursor before anything is sent.  Saves the
 * attributes and file status flags of the terminal, installs the handlers
 * for resizing, stopping and continuing, ignores SIGPIPE (a failed write
 * is reported instead), registers the exit handler, then enters program
 * mode.
 */
void
term_init()
{
	struct sigaction sa {}, old;

	term_load(nullptr);
	if (!term_has(cursor_address)) {
		std::fprintf(stderr, no_cup, term_name());
		std::fputc('\n', stderr);
		std::exit(1);
	}
	if (tcgetattr(0, &term_init_termios) < 0)
		epanic("failed to get terminal attributes");
	for (int fd : {0, 1})
		term_init_flags[fd] = fcntl(fd, F_GETFL);

	sa.sa_handler = term_on_sigwinch;
	sigemptyset(&sa.sa_mask);
	if (sigaction(SIGWINCH, &sa, nullptr) < 0)
		epanic("failed to install SIGWINCH handler");
	/* Restarted calls: a stop in the background start-up's tcsetattr
	 * must go on after fg, not fail.  The loop's wait ends all the same. */
	sa.sa_flags = SA_RESTART;
	sa.sa_handler = term_on_sigcont;
	sigaction(SIGCONT, &sa, nullptr);
	/* a SIGTSTP ignored by whoever started us stays ignored */
	sigaction(SIGTSTP, nullptr, &old);
	sa.sa_handler = term_on_sigtstp;
	if (old.sa_handler != SIG_IGN)
		sigaction(SIGTSTP, &sa, nullptr);
	sa.sa_handler = SIG_IGN;
	sigaction(SIGPIPE, &sa, nullptr);
	std::atexit(term_reset);

	term_enter();
}

/*
 * Shows the cursor and leaves the alternate screen, or without one puts
 * the cursor on a clean line below the chart; restores the saved
 * attributes once output has drained, then the saved file status flags.
 * Does nothing outside program mode.  Write failures are not looked at:
 * the fatal routines call this.
 */
void
term_reset()
{
	if (!term_initialized)
		return;
	term_initialized = 0;
	term_putp(cursor_normal);
	if (term_has(exit_ca_mode)) {
		term_putp(exit_ca_mode);
	} else {
		term_sgr0();
		term_cup(std::max(LINES - 1, 0), 0);
		putchar_unlocked('\n');
		term_el();
	}
	std::fflush(stdout);
	tcsetattr(0, TCSADRAIN, &term_init_termios);
	for (int fd : {1, 0})
		if (term_init_flags[fd] >= 0)
			fcntl(fd, F_SETFL, term_init_flags[fd]);
}

bool
term_check_stop()
{
	if (term_need_stop) {
		struct sigaction dfl {}, own;
		sigset_t set, old;

		term_need_stop = 0;
		term_reset();
		/* Raised while blocked, so it merges with any SIGTSTP still
		 * pending and the process stops once, when unblocked. */
		dfl.sa_handler = SIG_DFL;
		sigaction(SIGTSTP, &dfl, &own);
		raise(SIGTSTP);
		sigemptyset(&set);
		sigaddset(&set, SIGTSTP);
		sigaddset(&set, SIGCONT);
		sigprocmask(SIG_UNBLOCK, &set, &old);
		/* Continued here, or at once in an orphaned process group,
		 * where the system does not stop us. */
		sigprocmask(SIG_SETMASK, &old, nullptr);
		sigaction(SIGTSTP, &own, nullptr);
		term_need_cont = 1;
	}
	if (!term_need_cont)
		return false;
	term_need_cont = 0;
	/* the shell has had the terminal meanwhile */
	term_enter();
	term_need_resize = 1;
	return true;
}

bool
term_check_resize()
{
	if (!term_need_resize)
		return false;
	/* Cleared first: a SIGWINCH during the re-read is seen next tick. */
	term_need_resize = 0;
	TERMINAL *old = cur_term;
	int found = 0;
	/* Asked for an error code: left to itself, the library would print
	 * on the chart and exit with the terminal in program mode.  Its
	 * result is ERR without a curses screen even when the description
	 * loaded; the code says whether it did. */
	restartterm(nullptr, 1, &found);
	if (found != 1)
		panic("failed to reload the description of terminal \"%s\"", term_name());
	/* restartterm loads a new description; the old one would leak at
	 * every resize */
	if (old != nullptr && old != cur_term)
		del_curterm(old);
	if (!term_has(cursor_address))
		panic(no_cup, term_name());
	term_loaded();
	return true;
}
