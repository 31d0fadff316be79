// SPDX-License-Identifier: BSD-2-Clause
/* Compiles a terminal description with readable capability strings, so
 * expected output reads "<cup 22;0><setab 1>..." whatever the host has. */
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "testutil.h"

static const char clterm_src[] =
    "clterm|corelume test terminal with readable capabilities,\n"
    "\tam, cols#80, lines#24, colors#8, pairs#64,\n"
    "\tclear=<clear>$<5>, cnorm=<cnorm>, civis=<civis>, cup=<cup %p1%d;%p2%d>,\n"
    "\tel=<el>, sgr0=<sgr0>, setaf=<setaf %p1%d>, setab=<setab %p1%d>,\n"
    "\tsmcup=<smcup>, rmcup=<rmcup>,\n"
    "clmono|corelume test terminal without colours,\n"
    "\tcolors@, pairs@, setaf@, setab@, use=clterm,\n"
    "clterm-noca|clterm without an alternate screen,\n\tsmcup@, rmcup@, use=clterm,\n"
    "clterm-nocup|clterm that cannot position the cursor,\n\tcup@, use=clterm,\n"
    "clterm-nocivis|clterm that cannot hide the cursor,\n\tcivis@, use=clterm,\n";

static std::string tinfo;

#ifdef __SANITIZE_ADDRESS__
/* Tests keep records for the life of the process, as the program does,
 * but only the program keeps them reachable: no leak check here. */
extern "C" const char *
__asan_default_options()
{
	return "detect_leaks=0";
}
#endif

const std::string &
tinfo_dir()
{
	return tinfo;
}

int
main(int argc, char **argv)
{
	testing::InitGoogleTest(&argc, argv);

	/* Not a static object: children that exit() must not remove it. */
	tempdir &dir = *new tempdir;
	dir.write("clterm.src", clterm_src);
	tinfo = dir.path + "/terminfo";
	std::filesystem::create_directories(tinfo);
	std::string cmd = "tic -x -o " + tinfo + " " + dir.path + "/clterm.src";
	if (std::system(cmd.c_str()) != 0) {
		std::fprintf(stderr, "tic failed: %s\n", cmd.c_str());
		return 1;
	}
	setenv("TERMINFO", tinfo.c_str(), 1);
	setenv("TERM", "clterm", 1);
	unsetenv("NO_COLOR");	/* the expected streams are in colour */
	int rc = RUN_ALL_TESTS();
	delete &dir;
	return rc;
}
