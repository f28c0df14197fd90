#include "platform/Process.h"

#include "TempDir.h"

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>

namespace {

using PlatformProcessTest = testsupport::TempDirTest;

TEST_F(PlatformProcessTest, ExitCodesAndArguments)
{
    const std::string out = (m_dir.path() / "args.txt").string();
    struct Case {
        std::string script;
        int code;
    } cases[] = {
        {"exit 0", 0},
        {"exit 3", 3},
        {"printf '%s|' \"$@\" > '" + out + "'; exit 2", 2},
        {"kill -9 $$", 0}, // not an exit: reads as 0
    };
    for (const Case& c : cases) {
        auto process = platform::Process::start("/bin/sh", {"-c", c.script, "sh", "two words", "-finup", ""});
        ASSERT_TRUE(process) << c.script;
        EXPECT_EQ(process->wait(), c.code) << c.script;
        EXPECT_FALSE(process->wait()) << "a process is waited for once";
    }
    EXPECT_EQ(testsupport::TempDir::readFile(out), "two words|-finup||");
}

TEST_F(PlatformProcessTest, ProgramStartsWithDefaultSignalHandling)
{
    // The updater ignores SIGPIPE for itself; the client it restarts must not inherit that.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    auto process = platform::Process::start("/bin/sh", {"-c", "kill -PIPE $$; exit 5"});
    std::signal(SIGPIPE, previous);
    ASSERT_TRUE(process);
    EXPECT_EQ(process->wait(), 0) << "SIGPIPE ended the program, as it does by default";
}

TEST_F(PlatformProcessTest, MissingOrNonExecutableProgramFailsToStart)
{
    const auto plain = m_dir.write("not-a-program", "text");
    for (const std::string& program : {(m_dir.path() / "missing").string(), plain.string()}) {
        int error = 0;
        EXPECT_FALSE(platform::Process::start(program, {"-finup"}, &error)) << program;
        EXPECT_NE(error, 0) << program;
    }
}

} // namespace
