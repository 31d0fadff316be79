// SPDX-License-Identifier: BSD-2-Clause
/* The command line, run as a real process with standard input not a
 * terminal: options that pass parsing stop at the terminal check. */
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "corelume.h"
#include "testutil.h"

namespace {

const std::string usage = "Usage: corelume [-a] [-d delay]\n";
const std::string help = usage +
    "\nDisplay CPU usage as a bar chart.\n\nOptions:\n"
    "  -a       Use ASCII-only bars (instead of Unicode)\n"
    "  -d SECS  Specify delay between updates (decimals accepted)\n\n"
    "If your bars look funky, use -a or specify LANG=C.\n\n"
    "For kernels prior to 2.6.37, using a small delay on a large system can\n"
    "induce significant system time overhead.\n";
/* --help: the same, with the options -h never listed */
const std::string help_long = std::string(help).insert(help.find("\n\nIf your") + 1,
    "  -g N     One bar per N CPUs; larger groups where those do not fit\n"
    "  -s       Show steal time (virtual machines) as a band of its own\n"
    "  --version  Print the version and exit\n");
const std::string bad_delay = "Delay argument (-d) requires a number\n";
const std::string bad_group = "Group argument (-g) requires a positive whole number\n";
const std::string unexpected = "Unexpected arguments\n";
/* What a command line that parses meets next, with /dev/null as input. */
const std::string no_tty = "failed to get terminal attributes: Inappropriate ioctl for device\n";

/* getopt's own complaints differ by C library. */
#ifdef __GLIBC__
const std::string invalid = "invalid option -- '", no_arg = "option requires an argument -- '", quote = "'";
#else
const std::string invalid = "illegal option -- ", no_arg = "option requires an argument -- ", quote = "";
#endif

std::string
getopt_says(const std::string &what, char c)
{
	return "corelume: " + what + c + quote + "\n" + usage;
}

struct cli_case {
	std::vector<std::string> args;
	int status;
	std::string err;
	std::string out = "";
	const char *out_to = nullptr;	/* standard output's file, else captured */
};

TEST(CommandLine, StatusAndStandardError)
{
	const cli_case cases[] = {
		{{"-h"}, 0, help},
		{{"-h", "-d", "x"}, 0, help},
		{{"-a", "-h", "extra"}, 0, help},
		{{"-d", "x", "-h"}, 2, bad_delay},
		{{"-d", "1x"}, 2, bad_delay},
		{{"--help"}, 0, help_long},
		{{"-a", "--help", "-z"}, 0, help_long},
		{{"--version"}, 0, "", "corelume " CORELUME_VERSION "\n"},
		{{"-d", "1", "--version", "-h"}, 0, "", "corelume " CORELUME_VERSION "\n"},
		{{"--version"}, 255, "failed to write the version: No space left on device\n", "", "/dev/full"},
		{{"-d", "--help"}, 2, bad_delay},
		{{"--", "--version"}, 2, unexpected},
		{{"-z"}, 2, getopt_says(invalid, 'z')},
		{{"-V"}, 2, getopt_says(invalid, 'V')},
		{{"--versions"}, 2, getopt_says(invalid, '-')},
		{{"-d"}, 2, getopt_says(no_arg, 'd')},
		{{"stray"}, 2, unexpected},
		{{"stray", "-a"}, 2, unexpected},
		{{"stray", "-h"}, 2, unexpected},
		{{"-a", "stray"}, 2, unexpected},
		{{"-a", "--", "stray"}, 2, unexpected},
		{{"-a", "--"}, 255, no_tty},
		{{"-s", "-a", "-s"}, 255, no_tty},
		{{"-d", "1", "-d", "0.2"}, 255, no_tty},
		{{"-g", "0"}, 2, bad_group}, {{"-g", "x"}, 2, bad_group}, {{"-g", ""}, 2, bad_group},
		{{"-d", "-1"}, 255, no_tty},
		{{}, 255, no_tty},
	};
	for (const cli_case &c : cases) {
		std::vector<std::string> argv{"corelume"};
		argv.insert(argv.end(), c.args.begin(), c.args.end());
		child_result r = run_prog(argv, c.out_to);
		std::string what = testing::PrintToString(c.args);
		EXPECT_EQ(r.status, c.status) << what;
		EXPECT_EQ(r.err, c.err) << what;
		EXPECT_EQ(r.out, c.out) << what;
	}
}

TEST(CommandLine, DelayMilliseconds)
{
	struct {
		const char *arg;
		bool ok;
		int ms;
	} cases[] = {
		{"0.5", true, 500}, {"0.251", true, 250}, {"0.0005", true, 1}, {"-1", true, -1000},
		{"-0.0001", true, -1}, {"1e-50", true, 1}, {"-0", true, 0},
		{"", false, 0}, {" ", false, 0}, {" 1", true, 1000}, {"2e3", true, 2000000},
		{"inf", true, INT_MAX}, {"1e30", true, INT_MAX}, {"-inf", true, INT_MIN}, {"-1e30", true, INT_MIN},
		{"nan", false, 0}, {"1 ", false, 0}, {"0,5", false, 0}, {"1x", false, 0},
	};
	for (const auto &c : cases) {
		bool ok;
		int ms = corelume_parse_delay(c.arg, &ok);
		EXPECT_EQ(ok, c.ok) << c.arg;
		if (c.ok) {
			EXPECT_EQ(ms, c.ms) << c.arg;
		}
	}
}

TEST(CommandLine, UsageNamesArgv0)
{
	child_result r = run_prog({"/some/where/cl", "-h"});
	EXPECT_EQ(r.err.substr(0, 37), "Usage: /some/where/cl [-a] [-d delay]");
}

}
