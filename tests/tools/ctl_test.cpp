#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct CtlRun {
    int exitCode;
    std::string out, err;
};

CtlRun Ctl(const std::string& args) {
    // One file per test process: ctest runs them side by side.
    const std::string errFile =
        ::testing::TempDir() + "ctl-stderr-" + std::to_string(::getpid()) + ".txt";
    const std::string command = std::string(ZELKOR_CTL) + " " + args + " 2>" + errFile;
    CtlRun run{};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {-1, "", "popen failed"};
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    std::stringstream err;
    err << in.rdbuf();
    run.err = err.str();
    std::remove(errFile.c_str());
    return run;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ZelkorCtl, UsageErrorsSendNothingAndExit2) {
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"", "no command"},
        {"frobnicate", "unknown command 'frobnicate'"},
        {"tune 99", "Target frequency must be between 100 and 2500000"},
        {"tune 2500001", "Target frequency must be between 100 and 2500000"},
        {"tune abc", "Target frequency must be between 100 and 2500000"},
        {"tune", "'tune' needs an argument"},
        {"if-gain 60", "'if-gain' takes a number from 0 to 59"},
        {"if-filter 8", "'if-filter' takes a number from 0 to 7"},
        {"lna maybe", "'lna' takes on or off"},
        {"--bogus status", "unknown option"},
        {"serve --port 65536", "'--port' takes a number from 0 to 65535"},
        {"serve --host", "'--host' needs an argument"},
        {"serve --verbose", "'serve' takes --host ADDR, --port N, --idle-limit S and --quiet"},
        {"serve --idle-limit -1", "'--idle-limit' takes seconds from 0 to 86400"},
        {"serve --idle-limit 86401", "'--idle-limit' takes seconds from 0 to 86400"},
        {"serve status", "'serve' takes --host ADDR"},
        // Nothing runs when any part of the line is wrong.
        {"bias-t on tune 99", "Target frequency"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CtlRun run = Ctl(std::string("--simulate --trace ") + c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(Count(run.err, "\n"), 1) << "one line, and no trace: nothing was sent";
    }
}

TEST(ZelkorCtl, VersionAndHelpAnswerAloneAndSendNothing) {
    struct Case {
        const char* args;
        const char* start;
    } cases[] = {
        {"--version", "zelkor-ctl " ZELKOR_VERSION "\n"},
        // Asked for among other options, it still wins and nothing is sent.
        {"--simulate --trace --version status", "zelkor-ctl " ZELKOR_VERSION "\n"},
        {"--simulate --trace --help status", "usage: zelkor-ctl "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CtlRun run = Ctl(c.args);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out.rfind(c.start, 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
    EXPECT_EQ(Ctl("--version").out, std::string("zelkor-ctl ") + ZELKOR_VERSION + "\n") << "one line";
}

TEST(ZelkorCtl, TuneThenStatusShowsTheLogTheTraceAndTheSummary) {
    const CtlRun run = Ctl("--simulate --trace tune 145000 status");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("HIDOpen of Vid_04d8&Pid_fb31 returns 1\n"
                            "Success, Zelkor found.\n"
                            "HIDSetFreq of 145000 returns 1\n"
                            "Success, Zelkor frequency set.\n"
                            "HIDOpen of Vid_04d8&Pid_fb31 returns 1\n",
                            0),
              0u)
        << run.out;
    EXPECT_EQ(Count(run.out, "HIDReadCommand returns 1\n"), 7);
    EXPECT_NE(run.out.find("Frequency:  145000000 Hz (145000.000 kHz)\n"
                           "RF filter:  144MHz-146MHz (7)\n"
                           "IF filter:  200kHz (0)\n"
                           "Bias-T:     off\n"
                           "LNA:        on\n"
                           "Mixer gain: on\n"
                           "IF gain:    0\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.err.rfind("> 00 65 40 86 a4 08 00", 0), 0u) << run.err;
    // Seven reads in the panel's order after the tune.
    std::string codes;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("> ", 0) == 0) codes += line.substr(5, 2) + " ";
    EXPECT_EQ(codes, "65 99 a2 a6 96 9a 9d 66 ");
}

TEST(ZelkorCtl, SettingsPersistAcrossCommandsInOneRun) {
    const CtlRun run = Ctl("--simulate bias-t on lna off mixer-gain off if-gain 37 if-filter 3 status "
                        "defaults status");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("IF filter:  1536kHz (3)\nBias-T:     on\nLNA:        off\n"
                           "Mixer gain: off\nIF gain:    37\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("IF filter:  200kHz (0)\nBias-T:     off\nLNA:        on\n"
                           "Mixer gain: on\nIF gain:    0\n"),
              std::string::npos);
}

TEST(ZelkorCtl, AbsentReceiverLogsNotFoundAndExits1) {
    // The platform backend on a machine (or test VM) without the receiver.
    const CtlRun run = Ctl("--simulate bootloader status");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("Success, Zelkor reset to bootloader.\n"), std::string::npos);
    EXPECT_EQ(Count(run.out, "HIDOpen of Vid_04d8&Pid_fb31 returns 0\n"
                             "Error, Zelkor not found: is Zelkor correctly installed?\n"),
              7);
    EXPECT_NE(run.out.find("Frequency:  unknown\nRF filter:  unknown\nIF filter:  unknown\n"
                           "Bias-T:     unknown\nLNA:        unknown\nMixer gain: unknown\n"
                           "IF gain:    unknown\n"),
              std::string::npos)
        << "nothing read is shown as a value";
}

TEST(ZelkorCtl, QuietPrintsOnlyResultsAndErrors) {
    const CtlRun found = Ctl("--simulate --quiet tune 145000 status");
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_EQ(found.out.rfind("Frequency:  145000000 Hz (145000.000 kHz)\n", 0), 0u) << found.out;
    EXPECT_EQ(Count(found.out, "\n"), 7);
    EXPECT_EQ(found.err, "");

    const CtlRun absent = Ctl("--simulate --quiet bootloader bias-t on status");
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_EQ(Count(absent.out, "\n"), 7) << absent.out;
    EXPECT_EQ(absent.err,
              "zelkor-ctl: Error, Zelkor not found: is Zelkor correctly installed?\n"
              "zelkor-ctl: Error, Zelkor not found: is Zelkor correctly installed?\n")
        << "once for each command that failed";
}

}  // namespace
