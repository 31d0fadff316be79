// SPDX-License-Identifier: BSD-2-Clause
/* Terminal modes through termios and terminfo; no curses screen is used. */
#include "terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <curses.h>
#include <term.h>

#include "corelume.h"

volatile std::sig_atomic_t term_need_resize;

static struct termios term_init_termios;
static volatile std::sig_atomic_t term_initialized;

static void
term_on_sigwinch(int)
{
	term_need_resize = 1;
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

void
term_load(const char *name)
{
	setupterm(name, 1, nullptr);
	term_gen++;
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

/*
 * Loads the terminal description (which sets LINES and COLS), saves the
 * attributes of standard input, installs the SIGWINCH handler and the exit
 * handler, then enters program mode.  Input typed before is discarded.
 */
void
term_init()
{
	struct sigaction sa {};
	struct termios t;

	term_load(nullptr);
	if (tcgetattr(0, &term_init_termios) < 0)
		epanic("failed to get terminal attributes");

	sa.sa_handler = term_on_sigwinch;
	sigemptyset(&sa.sa_mask);
	if (sigaction(SIGWINCH, &sa, nullptr) < 0)
		epanic("failed to install SIGWINCH handler");
	std::atexit(term_reset);
	term_initialized = 1;

	term_putp(enter_ca_mode);
	term_putp(cursor_invisible);

	t = term_init_termios;
	t.c_iflag &= ~ICRNL;
	t.c_lflag &= ~(ICANON | ECHO);
	t.c_lflag |= ISIG;
	t.c_cc[VMIN] = 1;
	t.c_cc[VTIME] = 0;
	if (tcsetattr(0, TCSAFLUSH, &t) < 0)
		epanic("failed to set terminal attributes");
}

/*
 * Shows the cursor, leaves the alternate screen and restores the saved
 * attributes once output has drained.  Does nothing outside program mode.
 */
void
term_reset()
{
	if (!term_initialized)
		return;
	term_putp(cursor_normal);
	term_putp(exit_ca_mode);
	std::fflush(stdout);
	tcsetattr(0, TCSADRAIN, &term_init_termios);
	term_initialized = 0;
}

bool
term_check_resize()
{
	if (!term_need_resize)
		return false;
	/* Cleared first: a SIGWINCH during the re-read is seen next tick. */
	term_need_resize = 0;
	TERMINAL *old = cur_term;
	restartterm(nullptr, 1, nullptr);
	/* restartterm loads a new description; the old one would leak at
	 * every resize */
	if (old != nullptr && old != cur_term)
		del_curterm(old);
	term_gen++;
	return true;
}
