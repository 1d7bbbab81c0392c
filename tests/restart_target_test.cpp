// The restart procedure against real processes and real programs on disk.
#include "file_support.h"
#include "launch.h"
#include "process_lookup.h"
#include "process_support.h"
#include "restart_target.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

// A program that writes, to "ran" in its own directory, the path it was
// started as, its number of arguments, its signal state, its parent, the
// variable WDOG_PROBE and its working directory.
const char kReporter[] = "#!/bin/sh\n"
                         "d=$(dirname \"$0\")\n"
                         "{ printf '%s\\n' \"$0\" \"$#\"; " WDOG_SHELL_PRINT_OWN_SIGNALS ";"
                         " echo \"probe=$WDOG_PROBE\"; echo \"cwd=$(pwd)\"; }"
                         " > \"$d/ran.tmp\"\n"
                         "mv \"$d/ran.tmp\" \"$d/ran\"\n";

void WriteReporter(const std::string& path)
{
    WriteExecutable(path, kReporter);
}

// What the reporter in dir wrote, once it has run; "" after five seconds.
std::string WaitForReport(const std::string& dir)
{
    std::string report;
    WaitUntil([&] { return !(report = ReadFile(dir + "/ran")).empty(); });
    return report;
}

bool SigtermIgnored()
{
    struct sigaction now;
    sigaction(SIGTERM, nullptr, &now);
    return now.sa_handler == SIG_IGN;
}

bool Blocked(int signal)
{
    sigset_t mask;
    sigprocmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, signal) == 1;
}

// As a background job of a script (SIGINT and SIGQUIT ignored), under
// nohup (SIGHUP), with SIGTERM and SIGPIPE ignored as the watchdog does.
const int kIgnoredByTheCaller[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM};

TEST(Launch, TheProgramGetsDefaultSignalsAnEmptyMaskAndNoArguments)
{
    const TempDir dir;
    WriteReporter(dir.path() + "/prog");
    setenv("WDOG_PROBE", "inherited", 1);
    const TempDir workDir;
    const WorkingDirectory cwd(workDir.path());

    for (const int ignored : kIgnoredByTheCaller)
        (void)signal(ignored, SIG_IGN);
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    sigprocmask(SIG_BLOCK, &usr2, nullptr);

    EXPECT_GT(LaunchProgram((dir.path() + "/prog").c_str()), 0);
    // The caller is left as it was: SIGTERM ignored and not blocked.
    EXPECT_TRUE(SigtermIgnored());
    EXPECT_FALSE(Blocked(SIGTERM));
    sigprocmask(SIG_UNBLOCK, &usr2, nullptr);
    for (const int ignored : kIgnoredByTheCaller)
        (void)signal(ignored, SIG_DFL);

    const std::string report = WaitForReport(dir.path());
    ASSERT_NE(report, "");
    EXPECT_EQ(report.substr(0, report.find("\n0\n")), dir.path() + "/prog");
    EXPECT_TRUE(SignalsDefaultAndNothingBlocked(report)) << report;
    EXPECT_TRUE(IgnoredSignals(report) & (1ul << (SIGHUP - 1))) << report; // nohup holds
    EXPECT_NE(report.find("PPid: " + std::to_string(getpid()) + "\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nprobe=inherited\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\ncwd=" + workDir.path() + "\n"), std::string::npos) << report;
    unsetenv("WDOG_PROBE");
}

TEST(Launch, TheProgramKeepsOnlyTheStandardDescriptors)
{
    const TempDir dir;
    WriteExecutable(dir.path() + "/prog", "#!/bin/sh\nexec sleep 30\n");
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0); // inheritable, as the framework's own may be
    const pid_t child = LaunchProgram((dir.path() + "/prog").c_str());
    close(pipeFds[0]);
    close(pipeFds[1]);
    ASSERT_GT(child, 0);
    ASSERT_TRUE(WaitForName(child, "sleep"));
    // sleep may still hold its locale files for a moment after the exec; a
    // descriptor handed down would stay.
    EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors(child) == std::vector<int>{0, 1, 2}; }))
        << OpenDescriptors(child).size() << " descriptors";
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST(Launch, AProgramThatCannotStartIsReportedByTheChild)
{
    const TempDir dir;
    const std::string missingProgram = dir.path() + "/no such program";
    const ChildResult result = RunInChild([&] {
        const pid_t program = LaunchProgram(missingProgram.c_str());
        int status = 0;
        if (program <= 0 || waitpid(program, &status, 0) != program || !WIFEXITED(status))
            _exit(1);
        _exit(WEXITSTATUS(status));
    });
    EXPECT_EQ(WEXITSTATUS(result.status), 127);
    EXPECT_EQ(result.err, "[Watchdog]: Could not start " + missingProgram + ": No such file or directory\n");
}

// Launches again and again with SIGTERM ignored, as the watchdog does.
void LaunchRepeatedly()
{
    (void)signal(SIGTERM, SIG_IGN);
    for (int i = 0; i < 100; ++i)
        LaunchProgram("/bin/true");
    _exit(0);
}

TEST(Launch, ASigtermDuringALaunchCannotEndTheCaller)
{
    const pid_t launcher = fork();
    ASSERT_GE(launcher, 0);
    if (launcher == 0)
        LaunchRepeatedly();
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // SIGTERM ignored by now
    int status = 0;
    while (waitpid(launcher, &status, WNOHANG) == 0)
        kill(launcher, SIGTERM);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
}

TEST(Launch, TheCommandIsOneProgramPathByteForByte)
{
    const TempDir root;
    for (const char* sub : {"with blank", "q\"uo\\te", "caf\xC3\xA9 \xFF"}) {
        const std::string dir = root.path() + "/" + std::string(sub);
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        // Were the command split at its blank, "prog" would run with an argument.
        WriteReporter(dir + "/prog");
        WriteReporter(dir + "/prog arg");
        const std::string command = dir + "/prog arg";
        LaunchProgram(command.c_str());
        EXPECT_EQ(WaitForReport(dir).rfind(command + "\n0\n", 0), 0u) << sub;
    }
}

// Restarts in virtual time. The pause after the kills records what the
// world looked like then; name, when set, is looked up at that pause.
class Restart : public ::testing::Test {
protected:
    Restart() { WriteReporter(Command()); }
    std::string Command() const { return dir.path() + "/prog"; }

    TempDir dir;
    std::string name;
    std::vector<unsigned long> restartPauses;
    bool launchedBeforePause = false;
    bool nameListedAtPause = false;
    const PauseOverride recordingPause{PauseAfterKills(), [this](unsigned long milliseconds) {
        restartPauses.push_back(milliseconds);
        launchedBeforePause = !ReadFile(dir.path() + "/ran").empty();
        nameListedAtPause = !name.empty() && FindProcess(name.c_str(), kFindProcess) != 0;
    }};
    const PauseOverride noWait{KillWaitPause(), [](unsigned long) {}};
};

TEST_F(Restart, KillsEveryProcessOfTheNameThenPausesOnceThenLaunches)
{
    const std::string programName = UniqueName("rst");
    NamedProcess first = NamedProcess::Exec(programName);
    NamedProcess second = NamedProcess::Exec(programName);
    ASSERT_TRUE(WaitForName(first.pid(), programName) && WaitForName(second.pid(), programName));

    RestartTarget(Command().c_str(), programName.c_str());
    EXPECT_FALSE(IsRunning(first.pid()));
    EXPECT_FALSE(IsRunning(second.pid()));
    EXPECT_EQ(restartPauses, std::vector<unsigned long>{5000});
    EXPECT_FALSE(launchedBeforePause);
    EXPECT_NE(WaitForReport(dir.path()), "");
}

// Children forked by the program share its name.
void ForkThreeAndWait()
{
    for (int i = 0; i < 3; ++i)
        if (fork() == 0)
            break;
    for (;;)
        pause();
}

TEST_F(Restart, KillsEveryChildTheProgramForkedUnderItsNameBeforeTheLaunch)
{
    // Orphaned when the program dies first, the children come back to this
    // process, whose scans reap them: the kill's wait does not depend on how
    // fast the machine's init reaps.
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
        GTEST_SKIP() << "cannot become a subreaper (user-mode emulation does not pass it on)";
    name = UniqueName("forker");
    const NamedProcess program = NamedProcess::Rename(name, ForkThreeAndWait);
    std::vector<pid_t> family;
    ASSERT_TRUE(WaitUntil([&] { return (family = PidsNamed(name)).size() == 4; }));

    RestartTarget(Command().c_str(), name.c_str());
    for (const pid_t pid : family)
        EXPECT_FALSE(IsRunning(pid)) << pid;
    EXPECT_EQ(restartPauses, std::vector<unsigned long>{5000});
    EXPECT_FALSE(nameListedAtPause);
    EXPECT_FALSE(launchedBeforePause);
    EXPECT_NE(WaitForReport(dir.path()), "");
}

TEST_F(Restart, LaunchesAtOnceWhenNothingBearsTheName)
{
    RestartTarget(Command().c_str(), UniqueName("none").c_str());
    EXPECT_TRUE(restartPauses.empty());
    EXPECT_NE(WaitForReport(dir.path()), "");
}

TEST_F(Restart, AnEmptyNameKillsNothing)
{
    NamedProcess unnamed = NamedProcess::Rename("");
    ASSERT_TRUE(WaitForName(unnamed.pid(), ""));
    RestartTarget(Command().c_str(), "");
    EXPECT_TRUE(IsRunning(unnamed.pid()));
    EXPECT_TRUE(restartPauses.empty());
    EXPECT_NE(WaitForReport(dir.path()), "");
}

} // namespace
