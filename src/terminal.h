// SPDX-License-Identifier: BSD-2-Clause
/*
 * terminal: the terminal's modes and the capabilities the chart sends.
 *
 * term_init loads the description named by TERM and puts the terminal into
 * program mode: alternate screen, hidden cursor, standard input unechoed
 * and read byte by byte.  term_reset undoes that; it runs at every exit and
 * may be called any number of times; term_restore_now does the same from a
 * signal handler.  All output goes through this module's buffer to standard
 * output, in the order it is issued; capabilities are looked up in the
 * current terminal description at each use.
 */
#ifndef TERMINAL_H
#define TERMINAL_H

#include <cstddef>

/* Loads the terminal description of name (TERM's when null) for standard
 * output and sets LINES and COLS, from the window size the terminal
 * reports where it can; a name it cannot load ends the program with the
 * terminfo library's message. */
void term_load(const char *name);
/* Loads TERM's description, then refuses a terminal that cannot position
 * the cursor, and a standard output that is not a terminal: one line on
 * standard error and status 1, before anything is sent to it.  Saves the
 * terminal as found, has term_reset run at exit and before a fatal
 * message, and enters program mode. */
void term_init();
/* Sends what is buffered and the bytes that give the screen back, then
 * restores the attributes and the descriptor flags found on taking the
 * terminal (at start-up, or again after a stop).  A terminal that takes
 * nothing for a quarter of a second, its output stopped with Ctrl-S, has
 * its output restarted and the rest of the buffer dropped: the screen is
 * given back all the same. */
void term_reset();
/* The same from a signal handler, with async-signal-safe calls only;
 * what is buffered is dropped. */
void term_restore_now();
/* Takes the terminal again after a stop or a continue: enters program
 * mode, discarding input typed meanwhile; after a stop of the program's
 * own, and in the foreground, first saves the terminal as found, to give
 * back at the next way out. */
void term_retake();
/* After a resize: reloads the description and LINES and COLS; fatal when
 * it can no longer be loaded or position the cursor. */
void term_resize();

/* Add text to the output, which goes out when the buffer is full and at
 * term_flush. */
void term_write(const char *s, size_t n);
void term_putc(char c);
void term_puts(const char *s);
/* Send a capability string; an absent or cancelled one sends nothing. */
void term_putp(const char *cap);
void term_cup(int row, int col);
void term_setaf(int color);
void term_setab(int color);
void term_sgr0();
void term_el();
void term_clear();
/* Writes the buffer out, waiting while a non-blocking terminal takes no
 * more; a write that fails (a closed terminal) ends the program through
 * epanic. */
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
