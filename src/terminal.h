// SPDX-License-Identifier: BSD-2-Clause
/*
 * terminal: the terminal's modes and the capabilities the chart sends.
 *
 * term_init loads the description named by TERM and puts the terminal into
 * program mode: alternate screen, hidden cursor, standard input unechoed
 * and read byte by byte.  term_reset undoes that; it runs at every exit and
 * may be called any number of times.  All output goes through the buffered
 * standard output, in the order it is issued; capabilities are looked up
 * in the current terminal description at each use.
 */
#ifndef TERMINAL_H
#define TERMINAL_H

#include <csignal>

/* Set by the SIGWINCH, SIGTSTP and SIGCONT handlers. */
extern volatile std::sig_atomic_t term_need_resize, term_need_stop, term_need_cont;

/* Loads the terminal description of name (TERM's when null) for standard
 * output and sets LINES and COLS, from the window size the terminal
 * reports where it can; a name it cannot load ends the program with the
 * terminfo library's message. */
void term_load(const char *name);
/* Refuses a terminal that cannot position the cursor: one line on
 * standard error and status 1, before anything is sent to it. */
void term_init();
void term_reset();
/* After a SIGTSTP gives the terminal back and stops the process; once
 * continued, or after a SIGCONT, enters program mode again and leaves a
 * resize pending so the chart is laid out afresh.  True in that case:
 * input typed meanwhile was discarded.  Called with the signals that the
 * loop handles blocked. */
bool term_check_stop();
/* True when a SIGWINCH was pending: the flag is then cleared and LINES and
 * COLS re-read. */
bool term_check_resize();

/* Write text to standard output; the program has one thread, so the
 * stream is not locked for every byte. */
void term_puts(const char *s);
/* Send a capability string; an absent or cancelled one sends nothing. */
void term_putp(const char *cap);
void term_cup(int row, int col);
void term_setaf(int color);
void term_setab(int color);
void term_sgr0();
void term_el();
void term_clear();
/* Flushes standard output; a write that fails (a reader gone, a closed
 * terminal) ends the program through epanic. */
void term_flush();

/* What the loaded description offers the chart: colours it can use
 * (setaf, setab and at least the eight standard ones), and whether a
 * character written in the last column sends the cursor to the next row
 * at once (automatic margins without the newline glitch), which in the
 * last row scrolls the screen. */
bool term_has_colors();
bool term_wraps_at_margin();
/* Whether the description can hide the cursor (civis). */
bool term_hides_cursor();

#endif
