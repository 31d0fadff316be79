// SPDX-License-Identifier: BSD-2-Clause
/*
 * The built program in a real pseudo-terminal: program mode, every way
 * out, and (as root, in a private mount namespace) scenarios driven by a
 * fake stat and loadavg bind-mounted over the real ones.
 */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <pty.h>
#include <sched.h>
#include <sys/mount.h>
#else
#include <libutil.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "testutil.h"

namespace {

using namespace std::chrono_literals;

/* A fake procfs: stat and loadavg bind-mounted over /proc's, and the
 * possible-CPU list over sysfs' so the slot count fits the fake CPUs. */
struct fake_proc {
	tempdir dir;
	bool replace_proc = false;	/* mount the whole (empty) dir over /proc */
};

struct session {
	pid_t pid = -1;
	int master = -1, slave = -1, errfd = -1;
	std::string out, err;
	struct termios before {};
	int status = -1;
	bool stderr_on_pty = false;	/* else a pipe of its own, in err */
	std::vector<std::string> env;	/* before the usual variables, so these win */
	std::function<void()> in_child;	/* runs in the child just before exec */
	tcflag_t lflag_off = 0;		/* local modes off before the start */
	std::string typed_ahead;	/* input waiting at the start */
	int rows = 0, cols = 0;

	~session()
	{
		if (pid > 0 && status < 0) {
			kill(pid, SIGKILL);
			waitpid(pid, nullptr, 0);
		}
		for (int fd : {master, slave, errfd})
			if (fd >= 0)
				close(fd);
	}

	/* Reads whatever the program wrote until pred holds or time runs out. */
	bool wait_for(const std::function<bool()> &pred)
	{
		for (auto end = std::chrono::steady_clock::now() + 5s; !pred(); pump(50))
			if (std::chrono::steady_clock::now() > end)
				return false;
		return true;
	}

	/* Waits for s in the output from offset from on. */
	bool wait_output(const std::string &s, size_t from = 0)
	{
		return wait_for([&] { return out.find(s, from) != std::string::npos; });
	}

	/* Collects output until nothing arrives for quiet; false when output
	 * still flows after 3 s. */
	bool settle(std::chrono::milliseconds quiet = 200ms)
	{
		auto end = std::chrono::steady_clock::now() + 3s;
		size_t n;
		do {
			n = out.size();
			pump((int)quiet.count());
		} while (out.size() != n && std::chrono::steady_clock::now() < end);
		return out.size() == n;
	}

	void pump(int ms)
	{
		struct pollfd p[2] = {{master, POLLIN, 0}, {errfd, POLLIN, 0}};
		if (poll(p, 2, ms) <= 0)
			return;
		char buf[65536];
		if (p[0].revents & POLLIN) {
			ssize_t n = read(master, buf, sizeof(buf));
			if (n > 0)
				out.append(buf, (size_t)n);
		}
		if (p[1].revents & (POLLIN | POLLHUP)) {
			ssize_t n = read(errfd, buf, sizeof(buf));
			if (n > 0)
				err.append(buf, (size_t)n);
		}
	}

	void send(const std::string &s) { EXPECT_EQ(write(master, s.data(), s.size()), (ssize_t)s.size()); }

	void resize(int r, int c)
	{
		struct winsize ws = {(unsigned short)r, (unsigned short)c, 0, 0};
		ioctl(master, TIOCSWINSZ, &ws);
		rows = r;
		cols = c;
	}

	/*
	 * What the screen shows after all the output so far: each cell its
	 * character, a blank on background colour n the digit n, a block
	 * glyph '*'.  Padding (NULs) shows nothing, as on a terminal; the
	 * screen left for rmcup is blank, as the program never drew on it.
	 */
	std::vector<std::string> screen() const
	{
		std::vector<std::string> scr((size_t)rows, std::string((size_t)cols, ' '));
		int r = 0, c = 0, back = -1;
		for (size_t i = 0; i < out.size(); i++) {
			unsigned char ch = (unsigned char)out[i];
			if (ch == '<') {
				size_t e = out.find('>', i);
				if (e == std::string::npos)
					break;
				std::string cap = out.substr(i + 1, e - i - 1);
				i = e;
				if (cap == "clear" || cap == "rmcup") {
					scr.assign((size_t)rows, std::string((size_t)cols, ' '));
					r = c = 0;
				}
				else if (cap == "el" && r < rows && c < cols)
					scr[(size_t)r].replace((size_t)c, std::string::npos, (size_t)(cols - c), ' ');
				else if (cap == "sgr0")
					back = -1;
				else if (std::sscanf(cap.c_str(), "setab %d", &back) != 1)
					std::sscanf(cap.c_str(), "cup %d;%d", &r, &c);
				continue;
			}
			if (ch == '\0')
				continue;
			if (ch == '\r' || ch == '\n') {
				r += ch == '\n';
				c = 0;
				continue;
			}
			while (ch >= 0xc0 && i + 1 < out.size() && ((unsigned char)out[i + 1] & 0xc0) == 0x80)
				i++;
			if (r < rows && c < cols)
				scr[(size_t)r][(size_t)c] = ch >= 0x80 ? '*' : ch == ' ' && back >= 0 ? (char)('0' + back) : (char)ch;
			c++;
		}
		return scr;
	}

	/* Waits for row r of the screen to begin with text. */
	bool wait_screen(int r, const std::string &text)
	{
		return wait_for([&] { return screen()[(size_t)r].starts_with(text); });
	}

	/* Waits for the rows of the screen from row r on to be want. */
	bool wait_rows(int r, const std::vector<std::string> &want)
	{
		return wait_for([&] { auto scr = screen(); return std::equal(want.begin(), want.end(), scr.begin() + r); });
	}

	/* Waits for the exit, draining output; returns the status, -1 if none
	 * came in time. */
	int wait_exit()
	{
		int st = 0;
		if (status < 0 && wait_for([&] { return waitpid(pid, &st, WNOHANG) != 0; })) {
			/* a death by signal apart from any exit status */
			status = WIFEXITED(st) ? WEXITSTATUS(st) : 256 + WTERMSIG(st);
			pump(0);
			pump(0);
		}
		return status;
	}

	struct termios attrs() const
	{
		struct termios t {};
		tcgetattr(slave, &t);
		return t;
	}
};

bool
same_attrs(const struct termios &a, const struct termios &b)
{
	return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
	    a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof(a.c_cc)) == 0;
}

[[noreturn]] void
child_fail(const char *what)
{
	dprintf(2, "pty test child: %s: %s\n", what, strerror(errno));
	_exit(97);
}

/* The fake procfs needs private mount namespaces, which are Linux's. */
bool
enter_private_mounts()
{
#ifdef __linux__
	return unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
#else
	return false;
#endif
}

void
bind_file([[maybe_unused]] const std::string &from, const char *to)
{
#ifdef __linux__
	if (mount(from.c_str(), to, nullptr, MS_BIND, nullptr) == 0)
		return;
#endif
	child_fail(to);
}

/* Starts the program on a new pty of rows x cols. */
void
start(session &s, const std::vector<std::string> &args, int rows, int cols, const fake_proc *fake = nullptr)
{
	struct winsize ws = {(unsigned short)rows, (unsigned short)cols, 0, 0};
	int errp[2];

	ASSERT_EQ(openpty(&s.master, &s.slave, nullptr, nullptr, &ws), 0);
	s.rows = rows;
	s.cols = cols;
	ASSERT_EQ(pipe(errp), 0);
	fcntl(s.master, F_SETFD, FD_CLOEXEC);
	fcntl(errp[0], F_SETFD, FD_CLOEXEC);
	struct termios t;
	tcgetattr(s.slave, &t);
	t.c_lflag &= ~s.lflag_off;
	tcsetattr(s.slave, TCSANOW, &t);
	tcgetattr(s.slave, &s.before);
	s.send(s.typed_ahead);
	std::string tinfo = tinfo_dir();

	std::fflush(stdout);
	s.pid = fork();
	ASSERT_GE(s.pid, 0);
	if (s.pid == 0) {
		setsid();
		ioctl(s.slave, TIOCSCTTY, 0);
		dup2(s.slave, 0);
		dup2(s.slave, 1);
		dup2(s.stderr_on_pty ? s.slave : errp[1], 2);
		/* each signal as a shell leaves it, whatever this runner inherited
		 * (a script's & ignores SIGINT and SIGQUIT) */
		for (int sig = 1; sig < NSIG; sig++)
			signal(sig, SIG_DFL);
		if (fake != nullptr) {
			if (!enter_private_mounts())
				child_fail("private mounts");
			if (fake->replace_proc) {
				bind_file(fake->dir.path, "/proc");
			} else {
				bind_file(fake->dir.path + "/stat", "/proc/stat");
				bind_file(fake->dir.path + "/loadavg", "/proc/loadavg");
				bind_file(fake->dir.path + "/possible", "/sys/devices/system/cpu/possible");
			}
		}
		std::vector<std::string> argl = {"corelume"}, envl = s.env;
		argl.insert(argl.end(), args.begin(), args.end());
		envl.insert(envl.end(), {"TERM=clterm", "TERMINFO=" + tinfo, "LANG=C.UTF-8", "PATH=/usr/bin:/bin"});
		for (const char *keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
			if (const char *v = getenv(keep))
				envl.push_back(std::string(keep) + "=" + v);
		std::vector<char *> argv, envp;
		for (std::string &a : argl)
			argv.push_back(a.data());
		for (std::string &e : envl)
			envp.push_back(e.data());
		argv.push_back(nullptr);
		envp.push_back(nullptr);
		if (s.in_child)
			s.in_child();
		execve(CORELUME_BIN, argv.data(), envp.data());
		child_fail("exec");
	}
	close(errp[1]);
	s.errfd = errp[0];
}

/* The top row of 80 columns as the screen shows it, load line aside. */
const std::string legend = "22 nice 44 user 11 sys 66 iowait 55 irq 33 softirq ";

/* A stat file of n CPUs (those in skip left out) with counters c each. */
std::string
stat_text(int n, unsigned long long c, const std::vector<int> &skip = {})
{
	std::string s = "cpu  " + std::to_string(c * n) + " 0 0 " + std::to_string(c) + " 0 0 0 0 0 0\n";
	for (int i = 0; i < n; i++)
		if (std::find(skip.begin(), skip.end(), i) == skip.end())
			s += "cpu" + std::to_string(i) + " " + std::to_string(c) + " 0 0 100 0 0 0 0 0 0\n";
	return s + "intr 12345 0 0\nctxt 999\n";
}

bool
can_fake_proc()
{
	child_result r = run_child([] { _exit(geteuid() == 0 && enter_private_mounts() ? 0 : 1); });
	return r.status == 0;
}

const std::string labels8 = "avg 0 1 2 3 4 5 6 7";
const std::string top80 = legend + std::string(9, ' ') + "load: 0.52 0.58 0.59";

/* The program over a fake procfs of 8 CPUs, on 80x24, ticking on keys. */
class PtyFakeProc : public testing::Test {
protected:
	fake_proc fp;
	session s;

	void SetUp() override
	{
		if (!can_fake_proc())
			GTEST_SKIP() << "skipped: a fake procfs needs root and a private mount namespace (Linux)";
		fp.dir.write("stat", stat_text(8, 1000));
		fp.dir.write("loadavg", "0.52 0.58 0.59 1/123 4567\n");
		fp.dir.write("possible", "0-7\n");
	}

	/* Starts the program and waits for its first layout. */
	void start_chart()
	{
		ASSERT_NO_FATAL_FAILURE(start(s, {"-d", "-1"}, 24, 80, &fp));
		ASSERT_TRUE(s.wait_screen(23, labels8)) << s.out << s.err;
	}

	/* Rewrites a fake file and makes a tick; returns where its output
	 * begins. */
	size_t tick_with(const char *file, const std::string &text)
	{
		fp.dir.write(file, text);
		size_t mark = s.out.size();
		s.send("x");
		return mark;
	}

	void quit()
	{
		s.send("q");
		EXPECT_EQ(s.wait_exit(), 0);
		EXPECT_EQ(s.err, "");
	}
};

const std::string restored = "<cnorm><rmcup>";

/* Every way out: keys and signals that quit, deadly signals, stop and
 * continue, no alternate screen, no cursor addressing, output not a
 * terminal, non-blocking, stopped output, a vanished description, a stale
 * exported size. */
TEST(Pty, EveryWayOutGivesTheTerminalBack)
{
	tempdir gone;
	/* the chart is up, the terminal in program mode */
	auto up = [](session &s) {
		ASSERT_TRUE(s.wait_screen(23, "avg")) << s.out << s.err;
		struct termios t = s.attrs();
		EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
		EXPECT_NE(t.c_lflag & ISIG, 0u);
		EXPECT_EQ(t.c_iflag & ICRNL, 0u);
		EXPECT_TRUE(t.c_cc[VMIN] == 1 && t.c_cc[VTIME] == 0);
	};
	auto q = [&](session &s) { up(s); s.send("q"); };
	/* a quit ends the program after one more tick, a deadly signal at
	 * once */
	auto quit = [&](std::function<void(session &)> send) {
		return [=](session &s) {
			up(s);
			s.settle(100ms);
			send(s);
			int status = s.wait_exit();
			EXPECT_EQ(s.out.find("load: ") != std::string::npos, status == 0) << "the last tick";
		};
	};
	auto key = [](const char *k) { return [k](session &s) { s.send(k); }; };
	auto sig = [](int n) { return [n](session &s) { kill(s.pid, n); }; };
	/* as a job-control shell runs it: a foreground process group of its
	 * own (so stops are honoured), a parent that passes its status on */
	auto job = [] {
		int st = 0;
		pid_t prog = fork();
		if (prog > 0) {
			waitpid(prog, &st, 0);
			_exit(WIFSIGNALED(st) ? 128 + WTERMSIG(st) : WEXITSTATUS(st));
		}
		setpgid(0, 0);
		signal(SIGTTOU, SIG_IGN);
		tcsetpgrp(0, getpid());
		signal(SIGTTOU, SIG_DFL);
	};
	struct way_out {
		std::string name;
		std::vector<std::string> env;
		std::function<void()> in_child;
		std::function<void(session &)> act;
		int status;	/* 256 + a signal that ended it */
		std::string err, tail;	/* a refusal (status 1) writes nothing */
		std::vector<std::string> args = {"-d", "-1"};
		tcflag_t lflag_off = 0;
		std::string typed_ahead = "";
	};
	std::vector<way_out> cases = {
		{"ctrl-c", {}, {}, quit(key("\x03")), 0, "", restored},
		/* signal keys forced on; input typed before the start discarded */
		{"ctrl-c, isig off, q typed ahead", {}, {}, quit(key("\x03")), 0, "", restored, {"-d", "-1"},
		    ISIG | ICANON | ECHO, "q"},
		{"SIGINT", {}, {}, quit(sig(SIGINT)), 0, "", restored},
		{"SIGTERM", {}, {}, quit(sig(SIGTERM)), 0, "", restored},
		{"SIGHUP", {}, {}, quit(sig(SIGHUP)), 0, "", restored},
		{"ctrl-\\", {}, {}, quit(key("\x1c")), 256 + SIGQUIT, "", restored},
		{"ctrl-z, continue, twice", {}, job, [&](session &s) {
			up(s);
			EXPECT_TRUE(s.out.starts_with("<smcup><civis>")) << s.out;
			pid_t prog = tcgetpgrp(s.master);
			for (int round = 0; round < 2; round++) {
				size_t mark = s.out.size();
				s.send("\x1a");
				ASSERT_TRUE(s.wait_output(restored, mark)) << round;
				s.settle();	/* stopped: nothing more comes until continued */
				EXPECT_TRUE(s.out.ends_with(restored) && same_attrs(s.attrs(), s.before)) << s.out;
				/* stty intr ^X -ixon meanwhile: kept, and given back */
				s.before.c_cc[VINTR] = 0x18;
				s.before.c_iflag &= ~IXON;
				tcsetattr(s.slave, TCSANOW, &s.before);
				mark = s.out.size();
				kill(prog, SIGCONT);
				EXPECT_TRUE(s.wait_output("<smcup><civis>", mark)) << s.out;
				up(s);
			}
			size_t mark = s.out.size();
			s.send("\x0c");	/* ctrl-l: laid out afresh */
			EXPECT_TRUE(s.wait_output("<clear>", mark));
			up(s);
			s.send("\x18");
		}, 0, "", restored},
		/* a launcher without job control: Ctrl-Z does nothing; a key
		 * other than q makes a tick */
		{"SIGTSTP ignored", {}, [&] { job(); signal(SIGTSTP, SIG_IGN); }, [&](session &s) {
			up(s);
			s.send("\x1a" "Q");
			EXPECT_TRUE(s.wait_output("load: ")) << s.out;
			EXPECT_EQ(s.out.find(restored), std::string::npos) << "the terminal kept";
			s.send("q");
		}, 0, "", restored},
		/* under nohup or a script's &: neither quits */
		{"SIGINT, SIGTERM ignored", {}, [] { signal(SIGINT, SIG_IGN); signal(SIGTERM, SIG_IGN); }, [&](session &s) {
			up(s);
			kill(s.pid, SIGINT);
			kill(s.pid, SIGTERM);
			s.send("x");
			EXPECT_TRUE(s.wait_output("load: ")) << s.out;
			s.settle();
			EXPECT_EQ(waitpid(s.pid, nullptr, WNOHANG), 0) << "still running";
			s.send("q");
		}, 0, "", restored},
		{"no rmcup", {"TERM=clterm-noca"}, {}, q, 0, "", "<cnorm><sgr0><cup 23;0>\r\n<el>"},
		{"no civis: parked in the corner", {"TERM=clterm-nocivis"}, {}, q, 0, "", "<cup 23;79>" + restored},
		{"no cup", {"TERM=clterm-nocup"}, {}, [](session &) {}, 1,
		    "failed to use terminal \"clterm-nocup\": it cannot position the cursor (no cup)\n", ""},
		/* as the session leader, which the system does not stop: back
		 * at once */
		{"ctrl-z, not stopped", {}, {}, [&](session &s) {
			up(s);
			s.send("\x1a");
			EXPECT_TRUE(s.wait_output(restored)) << s.out;
			up(s);
			s.send("q");
		}, 0, "", restored},
		{"| head -c 100", {}, [] { int p[2]; if (pipe(p) == 0) dup2(p[1], 1); }, [](session &) {}, 1,
		    "failed to use standard output: it is not a terminal\n", ""},
		{"SIGTERM, output stopped, then ctrl-q", {}, {}, [&](session &s) {
			up(s);
			s.send("\x13");
			usleep(300000);
			kill(s.pid, SIGTERM);
			EXPECT_EQ(s.wait_exit(), 0);
			s.send("\x11");
			s.settle();
		}, 0, "", restored, {"-d", "0"}},
		/* left non-blocking by another program, at the start and mid-run */
		{"O_NONBLOCK", {}, [] { fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK); }, [&](session &s) {
			up(s);
			EXPECT_EQ(fcntl(s.slave, F_GETFL) & O_NONBLOCK, 0) << "blocking while it runs";
			fcntl(s.slave, F_SETFL, fcntl(s.slave, F_GETFL) | O_NONBLOCK);
			usleep(500000);	/* unread: the terminal fills up */
			/* the flags found at the start come back, not these */
			fcntl(s.slave, F_SETFL, fcntl(s.slave, F_GETFL) & ~O_NONBLOCK);
			s.send("q");
			EXPECT_EQ(s.wait_exit(), 0);
			s.settle();
			EXPECT_NE(fcntl(s.slave, F_GETFL) & O_NONBLOCK, 0);
		}, 0, "", restored, {"-d", "0"}},
		{"description gone", {"TERMINFO=" + gone.path},
		    [&] { std::filesystem::copy(tinfo_dir(), gone.path, std::filesystem::copy_options::recursive); },
		    [&](session &s) { up(s); std::filesystem::remove_all(gone.path); s.resize(10, 40); },
		    255, "failed to reload the description of terminal \"clterm\"\n", restored},
		{"stale LINES", {"LINES=10", "COLUMNS=40"}, {}, [&](session &s) {
			up(s);
			s.resize(12, 50);
			EXPECT_TRUE(s.wait_screen(11, "avg")) << s.out;
			s.send("q");
		}, 0, "", restored},
	};
	std::vector<int> deadly = {SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ,
		SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS, SIGRTMIN + 3};
#ifdef SIGPWR
	deadly.push_back(SIGPWR);
#endif
	for (int n : deadly)
		cases.push_back({strsignal(n), {}, {}, quit(sig(n)), 256 + n, "", restored});
	for (const auto &c : cases) {
		session s;
		s.env = c.env;
		s.in_child = c.in_child;
		s.lflag_off = c.lflag_off;
		s.typed_ahead = c.typed_ahead;
		ASSERT_NO_FATAL_FAILURE(start(s, c.args, 24, 80)) << c.name;
		c.act(s);
		EXPECT_EQ(s.wait_exit(), c.status) << c.name;
		EXPECT_EQ(s.err, c.err) << c.name;
		EXPECT_TRUE(s.out.ends_with(c.tail)) << c.name << ": " << s.out;
		EXPECT_EQ(s.out.empty(), c.status == 1) << c.name << ": " << s.out;
		EXPECT_TRUE(same_attrs(s.attrs(), s.before)) << c.name;
	}
}

/* With SIGHUP as it comes or ignored, the end of input ends the program,
 * neither spinning nor complaining. */
TEST(Pty, HangUpEndsQuietly)
{
	for (bool ignored : {false, true}) {
		session s;
		if (ignored)
			s.in_child = [] { signal(SIGHUP, SIG_IGN); };
		ASSERT_NO_FATAL_FAILURE(start(s, {"-d", "-1"}, 24, 80));
		ASSERT_TRUE(s.wait_output("avg"));
		s.settle(100ms);
		close(s.master);
		close(s.slave);
		s.master = s.slave = -1;
		EXPECT_EQ(s.wait_exit(), 0) << ignored;
		EXPECT_EQ(s.err, "") << ignored;
	}
}

TEST_F(PtyFakeProc, LegendAndLabelsThenFullBars)
{
	ASSERT_NO_FATAL_FAILURE(start_chart());
	s.settle();
	std::vector<std::string> want(24, std::string(80, ' '));
	auto put = [&](int r, const std::string &text) { want[(size_t)r].replace(0, text.size(), text); };
	put(0, legend);
	put(23, labels8);
	EXPECT_EQ(s.screen(), want) << "before the first tick: " << s.out;
	/* CPU 0 and the total gain far more user ticks than can elapse: full
	 * bars whatever the clock says; the other CPUs stay idle. */
	std::string text = stat_text(8, 1000);
	text.replace(text.find("cpu  8000"), 9, "cpu  900000000");
	text.replace(text.find("cpu0 1000"), 9, "cpu0 900000000");
	usleep(30000);	/* at least one clock tick must elapse */
	tick_with("stat", text);
	put(0, top80);
	for (int r = 2; r <= 22; r++)
		put(r, "444 4");
	EXPECT_TRUE(s.wait_rows(0, want)) << testing::PrintToString(s.screen());
	quit();
}

/* -s must reach both the stat scan and the chart. */
TEST_F(PtyFakeProc, StealNamedAndDrawnWithS)
{
	ASSERT_NO_FATAL_FAILURE(start(s, {"-s", "-d", "-1"}, 24, 80, &fp));
	ASSERT_TRUE(s.wait_screen(0, legend + "77 steal ")) << s.out << s.err;
	std::string text = stat_text(8, 1000);
	text.replace(text.find("cpu0 1000 0 0 100 0 0 0 0"), 25, "cpu0 1000 0 0 100 0 0 0 900000000");
	usleep(30000);	/* at least one clock tick must elapse */
	tick_with("stat", text);
	/* CPU 0's bar full of steal; avg, from the total line, empty */
	EXPECT_TRUE(s.wait_rows(2, std::vector<std::string>(21, "    7" + std::string(75, ' ')))) << testing::PrintToString(s.screen());
	quit();
}

TEST_F(PtyFakeProc, GroupBarsShowWhereTheLoadIs)
{
	std::string text = stat_text(512, 1000);
	fp.dir.write("stat", text);
	fp.dir.write("possible", "0-511\n");
	ASSERT_NO_FATAL_FAILURE(start(s, {"-g", "1", "-d", "-1"}, 24, 80, &fp));
	/* -g 1 doubles as the default does */
	ASSERT_TRUE(s.wait_screen(1, "512 CPUs, 8 to a bar")) << s.out << s.err;
	for (int cpu = 256; cpu < 264; cpu++)	/* far more user ticks than can elapse */
		text.replace(text.find("cpu" + std::to_string(cpu) + " 1000"), 11, "cpu" + std::to_string(cpu) + " 900000000");
	usleep(30000);	/* at least one clock tick must elapse */
	tick_with("stat", text);
	/* all 19 bar rows: the bar of CPUs 256-263, column 36, full; the others and avg empty */
	std::vector<std::string> rows(19, std::string(36, ' ') + "4" + std::string(43, ' '));
	EXPECT_TRUE(s.wait_rows(2, rows)) << testing::PrintToString(s.screen());
	quit();
}

TEST_F(PtyFakeProc, CpuOfflineAndBackIsLaidOutAgain)
{
	ASSERT_NO_FATAL_FAILURE(start_chart());
	size_t mark = tick_with("stat", stat_text(8, 2000, {3}));
	ASSERT_TRUE(s.wait_screen(23, "avg 0 1 2 4 5 6 7 ")) << s.out;
	/* back online: a bar only once both snapshots have it */
	mark = tick_with("stat", stat_text(8, 3000));
	ASSERT_TRUE(s.wait_output("load: ", mark));
	s.settle(100ms);
	EXPECT_EQ(s.screen()[23].substr(0, 18), "avg 0 1 2 4 5 6 7 ");
	tick_with("stat", stat_text(8, 4000));
	ASSERT_TRUE(s.wait_screen(23, labels8));
	quit();
}

TEST_F(PtyFakeProc, ResizeLaysOutAgainWithPanes)
{
	ASSERT_NO_FATAL_FAILURE(start_chart());
	/* A resize that arrives while a tick's output is held (Ctrl-S), after
	 * the tick looked for one: the wait that follows must not miss it,
	 * or -d -1 waits for a key. */
	s.send("\x13");
	tick_with("loadavg", "0.52 0.58 0.59 1/123 4567\n");
	usleep(300000);
	s.resize(10, 40);
	s.send("\x11");
	ASSERT_TRUE(s.wait_screen(9, labels8)) << s.out;
	/* the legend cut at 40 columns is whole again at 80 */
	s.resize(24, 80);
	EXPECT_TRUE(s.wait_for([&] { return s.screen()[0] == top80; })) << s.screen()[0];
	/* 10 columns: the 12-column canvas is cut into panes of 9 and 3 */
	s.resize(10, 10);
	ASSERT_TRUE(s.wait_for([&] { auto scr = s.screen(); return scr[5] == "avg 01234 " && scr[9] == "567       "; })) << s.out;
	s.resize(24, 80);
	ASSERT_TRUE(s.wait_screen(23, labels8));
	EXPECT_TRUE(s.settle()) << "the resize is redrawn again and again";
	quit();
}

/* Ticks in one second with no key: a -d 0 tick within the same clock
 * tick as the one before draws the load line alone (then "<cup 0;..."
 * of the next follows it). */
TEST_F(PtyFakeProc, DelayPacesTicksWithoutKeys)
{
	struct {
		const char *delay;
		size_t least, most;
		bool load_only_tick;
	} cases[] = {
		{"0.2", 2, 10, false},
		{"0", 20, SIZE_MAX, true},
		{"0.0009", 2, 1100, true},	/* a millisecond at least */
		{"-0.0001", 0, 0, false},	/* waits for a key */
	};
	for (const auto &c : cases) {
		session ps;
		ASSERT_NO_FATAL_FAILURE(start(ps, {"-d", c.delay}, 24, 80, &fp));
		ASSERT_TRUE(ps.wait_screen(23, labels8)) << c.delay;
		for (auto end = std::chrono::steady_clock::now() + 1s; std::chrono::steady_clock::now() < end;)
			ps.pump(50);
		size_t ticks = 0;
		for (size_t at = 0; (at = ps.out.find("  load: ", at)) != std::string::npos; at++)
			ticks++;
		EXPECT_GE(ticks, c.least) << c.delay;
		EXPECT_LE(ticks, c.most) << c.delay;
		EXPECT_EQ(ps.out.find("0.59<cup 0;") != std::string::npos, c.load_only_tick) << c.delay;
		ps.send("q");
		EXPECT_EQ(ps.wait_exit(), 0) << c.delay;
	}
}

/* The terminal is given back before the message, which lands on it. */
TEST_F(PtyFakeProc, FatalErrorGivesTerminalBackFirst)
{
	s.stderr_on_pty = true;	/* one stream: the order is visible */
	ASSERT_NO_FATAL_FAILURE(start_chart());
	tick_with("loadavg", "garbage\n");
	EXPECT_EQ(s.wait_exit(), 255);
	EXPECT_TRUE(same_attrs(s.attrs(), s.before));
	size_t back = s.out.rfind(restored);
	ASSERT_NE(back, std::string::npos) << s.out;
	EXPECT_EQ(s.out.substr(back + restored.size()), "failed to parse /proc/loadavg\r\n");
}

/* A stat file that never answers (a FIFO with a silent writer) does not
 * keep SIGTERM from ending the program, whatever SIGALRM came as. */
TEST_F(PtyFakeProc, TermEndsAReadThatNeverAnswers)
{
	std::string fifo = fp.dir.path + "/stat";
	unlink(fifo.c_str());
	mkfifo(fifo.c_str(), 0600);
	int w = open(fifo.c_str(), O_RDWR);
	for (auto alrm : {SIG_DFL, SIG_IGN}) {
		session ts;
		ts.in_child = [alrm] { signal(SIGALRM, alrm); };
		ASSERT_NO_FATAL_FAILURE(start(ts, {"-d", "-1"}, 24, 80, &fp));
		ts.settle();
		EXPECT_EQ(ts.attrs().c_lflag & ECHO, 0u) << "the terminal taken";
		kill(ts.pid, SIGTERM);
		EXPECT_EQ(ts.wait_exit(), 0);
		EXPECT_TRUE(same_attrs(ts.attrs(), ts.before));
	}
	close(w);
}

TEST_F(PtyFakeProc, NoProcfsStopsBeforeTheTerminal)
{
#ifdef __SANITIZE_ADDRESS__
	GTEST_SKIP() << "skipped under AddressSanitizer: its runtime reads /proc, which this test empties";
#endif
	fake_proc empty;
	empty.replace_proc = true;
	ASSERT_NO_FATAL_FAILURE(start(s, {}, 24, 80, &empty));
	EXPECT_EQ(s.wait_exit(), 255);
	EXPECT_EQ(s.err, "checked procfs candidates:\n\t/proc\n\t/compat/linux/proc\n"
			 "failed to locate a suitable procfs with stat/loadavg\n");
	EXPECT_EQ(s.out, "");
}

TEST_F(PtyFakeProc, BadStatTextKeepsRunning)
{
	ASSERT_NO_FATAL_FAILURE(start_chart());
	const std::string texts[] = {
		stat_text(8, 500),			/* counters went backwards */
		"cpu  1 2 3\ncpu0 1 2 3 4\n",		/* aggregate line with three values */
		"\x01\xfe garbage \xff\n",
		"intr 1 2 3\nctxt 4\n",			/* no cpu line at all */
		"",
		stat_text(8, 4000),
	};
	for (const std::string &t : texts) {
		size_t mark = tick_with("stat", t);
		ASSERT_TRUE(s.wait_output("load: ", mark));
	}
	quit();
}

}
