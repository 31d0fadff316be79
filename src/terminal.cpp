// SPDX-License-Identifier: BSD-2-Clause
/* Terminal modes through termios and terminfo; no curses screen is used. */
#include "terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <curses.h>
#include <term.h>

#include "fatal.h"

/* The attributes and the file status flags of standard input and output
 * (-1 when they could not be read) to give back: as found at start-up,
 * or on taking the terminal again after a stop. */
static struct termios term_saved_termios;
static int term_saved_flags[2] = {-1, -1};
/* In program mode; the bytes that give the screen back not yet sent.
 * Read by signal handlers. */
static volatile std::sig_atomic_t term_initialized, term_bye_owed;

/*
 * Everything the chart sends, in order.  Our own buffer, not stdio's: a
 * write that meets a non-blocking terminal must wait and go on without
 * losing a byte, and a way out must be able to drop what a stopped
 * terminal will not take.
 */
static char term_obuf[1 << 16];
static size_t term_olen;

/*
 * The bytes that give the screen back: cursor shown, then the alternate
 * screen left or, without one, the cursor on a clean line below the
 * chart.  Rebuilt after each load of a description (the bottom row moves
 * with the size) into the copy not in use, so that a signal handler always
 * finds a whole one.
 */
static struct {
	size_t len;
	char s[256];
} term_bye[2];
static volatile std::sig_atomic_t term_bye_cur;

/*
 * Writes n bytes at p to standard output; returns how many went out.
 * While the terminal takes no more (non-blocking, EAGAIN), waits for it,
 * without limit when ms is negative; stops short, errno EAGAIN, when it
 * has taken nothing for ms milliseconds.  Stops short, errno set, when a
 * write fails.  Async-signal-safe.
 */
static size_t
term_send(const char *p, size_t n, int ms)
{
	size_t done = 0;
	bool waited = false;

	while (done < n) {
		ssize_t w = write(1, p + done, n - done);
		if (w > 0) {
			done += (size_t)w;
			waited = false;
		} else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
			/* tried once more after a wait that runs out: a slow
			 * line takes bytes before poll calls it writable */
			if (waited) {
				errno = EAGAIN;
				break;
			}
			struct pollfd pfd = {1, POLLOUT, 0};
			waited = poll(&pfd, 1, ms) == 0;
		} else if (w == 0 || errno != EINTR) {
			break;
		}
	}
	return done;
}

void
term_flush()
{
	bool sent = term_send(term_obuf, term_olen, -1) == term_olen;

	term_olen = 0;
	if (!sent)
		epanic("failed to write to the terminal");
}

void
term_write(const char *s, size_t n)
{
	if (n <= sizeof(term_obuf) - term_olen) {
		std::memcpy(term_obuf + term_olen, s, n);
		term_olen += n;
		return;
	}
	while (n > 0) {
		if (term_olen == sizeof(term_obuf))
			term_flush();
		size_t k = std::min(n, sizeof(term_obuf) - term_olen);
		std::memcpy(term_obuf + term_olen, s, k);
		term_olen += k;
		s += k;
		n -= k;
	}
}

void
term_putc(char c)
{
	if (term_olen == sizeof(term_obuf))
		term_flush();
	term_obuf[term_olen++] = c;
}

/* Byte by byte: the strings are short, shorter than a call to strlen
 * and memcpy would pay for. */
void
term_puts(const char *s)
{
	for (; *s != '\0'; s++)
		term_putc(*s);
}

/* terminfo's own output routine writes each byte straight to the
 * descriptor when no curses screen exists; ours keeps every byte in
 * order with the rest. */
static int
term_outc(int c)
{
	term_putc((char)c);
	return c;
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
		term_putc(*p);
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

static void term_build_bye();

/*
 * After a description is loaded: voids the remembered capabilities of the
 * one before, sets LINES and COLS from the window size the terminal
 * reports, on standard output or else standard input, and builds the bytes
 * that give the screen back for it.  The terminfo library prefers LINES
 * and COLUMNS from the environment, which may be stale; they and the
 * description's size apply only when the terminal cannot say.
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
			break;
		}
	}
	term_build_bye();
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

/* Issued into the buffer like any output, then moved out of it. */
static void
term_build_bye()
{
	int next = !term_bye_cur;

	if (sizeof(term_obuf) - term_olen < sizeof(term_bye[next].s))
		term_flush();
	size_t mark = term_olen;
	term_putp(cursor_normal);
	if (term_has(exit_ca_mode)) {
		term_putp(exit_ca_mode);
	} else {
		term_sgr0();
		term_cup(std::max(LINES - 1, 0), 0);
		term_putc('\n');
		term_el();
	}
	term_bye[next].len = std::min(term_olen - mark, sizeof(term_bye[next].s));
	std::memcpy(term_bye[next].s, term_obuf + mark, term_bye[next].len);
	term_olen = mark;
	term_bye_cur = next;
}

/* A terminal that takes nothing for this long is taken to be stopped. */
static const int term_stall_ms = 250;

/*
 * Every way out: sends what is buffered (when keep is set; a signal
 * handler drops it) and the bytes that give the screen back, then puts
 * the saved attributes and file status flags back.  The bytes go out
 * non-blocking.  A terminal that takes nothing for term_stall_ms, as one
 * whose output the user stopped (Ctrl-S; a pseudo-terminal then takes no
 * byte at all), has the rest of the buffer dropped and its output
 * restarted, then gets them.  Restarted with TCOOFF first: on Linux TCOON
 * undoes only a stop made by TCOOFF, not the user's.  The attributes
 * apply at once: program mode changes no output mode, and a drain waits
 * for stopped output (on FreeBSD, which queues what a stopped terminal is
 * sent, for minutes).  Async-signal-safe unless keep is set.
 */
static void
term_leave(bool keep)
{
	if (term_bye_owed) {
		const auto &bye = term_bye[term_bye_cur];
		size_t sent = 0;
		int fl = fcntl(1, F_GETFL);

		if (fl >= 0)
			fcntl(1, F_SETFL, fl | O_NONBLOCK);
		bool stalled = keep && term_send(term_obuf, term_olen, term_stall_ms) < term_olen;
		if (!stalled)
			stalled = (sent = term_send(bye.s, bye.len, term_stall_ms)) < bye.len;
		if (stalled && errno == EAGAIN) {
			tcflow(1, TCOOFF);
			tcflow(1, TCOON);
			term_send(bye.s + sent, bye.len - sent, term_stall_ms);
		}
		if (fl >= 0)
			fcntl(1, F_SETFL, fl);
	}
	if (keep)
		term_olen = 0;
	term_bye_owed = 0;
	tcsetattr(0, TCSANOW, &term_saved_termios);
	for (int fd : {1, 0})
		if (term_saved_flags[fd] >= 0)
			fcntl(fd, F_SETFL, term_saved_flags[fd]);
	term_initialized = 0;
}

/* What the next way out gives back: the terminal as it is now. */
static void
term_save()
{
	if (tcgetattr(0, &term_saved_termios) < 0)
		epanic("failed to get terminal attributes");
	for (int fd : {0, 1})
		term_saved_flags[fd] = fcntl(fd, F_GETFL);
}

/*
 * Program mode: descriptors blocking (another program on the tty may
 * have left them non-blocking, and a write would then drop bytes),
 * alternate screen, hidden cursor, raw input.  Input typed before is
 * discarded.  Assumes the attributes and flags to give back are saved.
 */
static void
term_enter()
{
	struct termios t = term_saved_termios;

	for (int fd : {0, 1})
		if (term_saved_flags[fd] >= 0 && (term_saved_flags[fd] & O_NONBLOCK))
			fcntl(fd, F_SETFL, term_saved_flags[fd] & ~O_NONBLOCK);
	term_initialized = 1;
	term_bye_owed = 1;

	term_putp(enter_ca_mode);
	term_putp(cursor_invisible);

	t.c_iflag &= ~ICRNL;
	t.c_lflag &= ~(ICANON | ECHO);
	t.c_lflag |= ISIG;
	t.c_cc[VMIN] = 1;
	t.c_cc[VTIME] = 0;
	/* a terminal that hung up (EIO) takes no modes: the next read
	 * sees the end of input and ends the program */
	if (tcsetattr(0, TCSAFLUSH, &t) < 0 && errno != EIO)
		epanic("failed to set terminal attributes");
}

void
term_init()
{
	term_load(nullptr);
	if (!term_has(cursor_address)) {
		std::fprintf(stderr, no_cup, term_name());
		std::fputc('\n', stderr);
		std::exit(1);
	}
	term_save();
	/* a pipe would carry the chart off (and its way out with it) */
	if (!isatty(1)) {
		std::fputs("failed to use standard output: it is not a terminal\n", stderr);
		std::exit(1);
	}
	std::atexit(term_reset);
	fatal_restore(term_reset);

	term_enter();
}

/* Write failures are not looked at: the fatal routines call this. */
void
term_reset()
{
	if (term_initialized)
		term_leave(true);
}

void
term_restore_now()
{
	if (term_initialized)
		term_leave(false);
}

void
term_retake()
{
	/* The shell has had the terminal meanwhile.  After a stop of ours it
	 * was given back, and what the user set then (stty while stopped) is
	 * what the next way out restores.  Not saved when continued in the
	 * background (bg), where the shell's line editor may hold it (program
	 * mode then waits for the foreground, stopped by SIGTTOU), nor after
	 * a continue without a stop, which finds program mode. */
	if (!term_initialized && tcgetpgrp(0) == getpgrp())
		term_save();
	term_enter();
}

void
term_resize()
{
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
}
