// SPDX-License-Identifier: BSD-2-Clause
#include "testutil.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#define NCURSES_NOMACROS
#include <curses.h>

#include "terminal.h"

void
use_test_term(int nlines, int ncols, const char *name)
{
	term_load(name);
	LINES = nlines;
	COLS = ncols;
}

std::string
read_file(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), {}};
}

int
count_fds()
{
	/* /proc/self/fd is Linux's; fcntl asks every system */
	int n = 0;
	for (int fd = 0; fd < 1024; fd++)
		n += fcntl(fd, F_GETFD) != -1;
	return n;
}

std::string
capture_stdout(const std::function<void()> &fn)
{
	char path[] = "/tmp/clcapXXXXXX";
	int fd = mkstemp(path);
	int saved = dup(1);

	std::fflush(stdout);
	dup2(fd, 1);
	fn();
	term_flush();
	dup2(saved, 1);
	close(saved);
	close(fd);
	std::string out = read_file(path);
	unlink(path);
	return out;
}

tempdir::tempdir()
{
	char tmpl[] = "/tmp/cltestXXXXXX";
	if (mkdtemp(tmpl) == nullptr)
		throw std::runtime_error("mkdtemp failed");
	path = tmpl;
}

tempdir::~tempdir()
{
	std::error_code ec;
	std::filesystem::remove_all(path, ec);
}

void
tempdir::write(const std::string &name, const std::string &text) const
{
	std::string p = path + "/" + name;
	std::filesystem::create_directories(std::filesystem::path(p).parent_path());
	/* In place, not replaced: the program keeps its descriptor open. */
	int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	if (fd < 0 || ::write(fd, text.data(), text.size()) != (ssize_t)text.size())
		throw std::runtime_error("cannot write " + p);
	close(fd);
}

static std::string
drain(int fd)
{
	std::string s;
	char buf[4096];
	ssize_t n;

	while ((n = read(fd, buf, sizeof(buf))) > 0)
		s.append(buf, (size_t)n);
	close(fd);
	return s;
}

child_result
run_child(const std::function<void()> &fn)
{
	char out_path[] = "/tmp/cloutXXXXXX", err_path[] = "/tmp/clerrXXXXXX";
	int out = mkstemp(out_path), err = mkstemp(err_path);
	child_result r;

	std::fflush(stdout);
	std::fflush(stderr);
	pid_t pid = fork();
	if (pid == 0) {
		dup2(out, 1);
		dup2(err, 2);
		fn();
		std::_Exit(99);
	}
	int st = 0;
	waitpid(pid, &st, 0);
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
	lseek(out, 0, SEEK_SET);
	lseek(err, 0, SEEK_SET);
	r.out = drain(out);
	r.err = drain(err);
	unlink(out_path);
	unlink(err_path);
	return r;
}

child_result
run_prog(const std::vector<std::string> &args, const char *out_to)
{
	return run_child([&] {
		std::vector<char *> argv;
		for (const auto &a : args)
			argv.push_back(const_cast<char *>(a.c_str()));
		argv.push_back(nullptr);
		int devnull = open("/dev/null", O_RDONLY);
		dup2(devnull, 0);
		if (out_to != nullptr)
			dup2(open(out_to, O_WRONLY), 1);
		execv(CORELUME_BIN, argv.data());
		std::_Exit(98);
	});
}
