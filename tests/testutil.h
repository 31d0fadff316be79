// SPDX-License-Identifier: BSD-2-Clause
/* Helpers shared by the tests: a readable terminal description, stdout
 * capture, temporary procfs directories and child processes. */
#ifndef TESTUTIL_H
#define TESTUTIL_H

#include <functional>
#include <string>
#include <vector>

/* Directory holding the compiled "clterm" description (see test_main). */
const std::string &tinfo_dir();

/* Makes clterm (or clmono, the same without colours) the current
 * terminal and sets LINES and COLS. */
void use_test_term(int lines, int cols, const char *name = "clterm");

/* Runs fn with standard output sent to a file; returns what it wrote. */
std::string capture_stdout(const std::function<void()> &fn);

/* A fresh directory under /tmp, removed with its files by the destructor. */
struct tempdir {
	std::string path;
	tempdir();
	~tempdir();
	tempdir(const tempdir &) = delete;
	tempdir &operator=(const tempdir &) = delete;
	/* Writes (or rewrites in place) a file relative to the directory. */
	void write(const std::string &name, const std::string &text) const;
};

std::string read_file(const std::string &path);

/* Open descriptors of this process. */
int count_fds();

struct child_result {
	int status = -1;	/* exit status, or 128 + signal */
	std::string out, err;
};

/* Runs fn in a forked child with stdout and stderr captured; the child's
 * exit (fn must exit) gives the status. */
child_result run_child(const std::function<void()> &fn);

/* Runs the built program with args, standard input from /dev/null and
 * standard output to out_to when given. */
child_result run_prog(const std::vector<std::string> &args, const char *out_to = nullptr);

#endif
