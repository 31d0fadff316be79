// SPDX-License-Identifier: BSD-2-Clause
/* Load average text from the fuzzer: parsed, then drawn. */
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#define NCURSES_NOMACROS
#include <curses.h>

#include "cpustats.h"
#include "terminal.h"
#include "ui.h"

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	int null = open("/dev/null", O_WRONLY);
	dup2(null, 1);
	term_load("xterm-256color");
	return 0;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	std::string text(reinterpret_cast<const char *>(data), size);
	load_avg la{};

	if (cpustats_parse_loadavg(&la, text.c_str())) {
		COLS = size > 0 ? data[0] : 80;
		ui_show_load(&la);
		std::fflush(stdout);
	}
	return 0;
}
