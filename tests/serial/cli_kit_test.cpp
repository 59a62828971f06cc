// The command-line kit: reading options, dispatching subcommands, and the console's lines and
// progress bar on a terminal.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/version.h"
#include "serial/cli/program.h"

using namespace serial::cli;

namespace {

// The usage error's text, or "" when there was none.
template <typename F>
std::string usageError(F f) {
    try {
        f();
    } catch (const UsageError& e) {
        return e.text;
    }
    return "";
}

std::vector<std::string> seen;  // the arguments the last subcommand ran with

int runGo(const std::vector<std::string>& args, Console& console) {
    seen = args;
    console.progress(40);
    return args.empty() ? kExitOk : kExitFailed;
}

int runStrict(const std::vector<std::string>& args, Console&) {
    seen = args;
    throw UsageError{"strict takes no " + args.at(0)};
}

Program testProgram(AfterUsageError after = AfterUsageError::TryHelp) {
    return {"prog",
            {{"go", "FILE [--fast] [--port N]\n[--colour C]", "goes.\n  --fast  quicker\n", runGo},
             {"strict", "", "takes nothing.\n", runStrict}},
            "Notes.\n",
            after};
}

struct Ran {
    int status;
    std::string out, err;
};

Ran run(const Program& p, std::vector<std::string> args, bool terminal = false) {
    seen = {"not run"};
    std::ostringstream out, err;
    Console console(out, err, terminal);
    int status = serial::cli::run(p, args, console);
    return {status, out.str(), err.str()};
}

}  // namespace

TEST(CliOptions, ValuesInBothSpellingsFlagsAndPositionalsInTheOrderGiven) {
    std::vector<std::string> args = {"--port",    "5",   "--output=a b.jpg", "--bmp", "-",
                                     "--output=", "file"};
    Options o(args, "capture");
    EXPECT_EQ(o.port(), 5);
    EXPECT_EQ(o.value("--output"), "a b.jpg");
    EXPECT_FALSE(o.value("--output"));  // the next one is a flag: left alone
    EXPECT_TRUE(o.flag("--bmp"));
    EXPECT_EQ(o.positional(), "-");  // standard input's name, not an option
    EXPECT_EQ(o.value("--output"), "");
    EXPECT_FALSE(o.done());
    EXPECT_EQ(o.positional(), "file");
    EXPECT_TRUE(o.done());
}

TEST(CliOptions, ANameMatchesOnlyItself) {
    std::vector<std::string> args = {"--portx", "5", "--bmp=1", "--out=x"};
    Options o(args, "capture");
    EXPECT_FALSE(o.port());
    EXPECT_FALSE(o.flag("--port"));
    EXPECT_EQ(usageError([&] { o.positional(); }), "capture: unknown option --portx");
    std::vector<std::string> flagWithValue = {"--bmp=1"};
    Options f(flagWithValue, "capture");
    EXPECT_FALSE(f.flag("--bmp"));
    EXPECT_FALSE(f.value("--b"));
    EXPECT_FALSE(f.value("--bmp="));
    EXPECT_EQ(usageError([&] { f.positional(); }), "capture: unknown option --bmp=1");
}

TEST(CliOptions, AValueThatIsMissingOrNotANumber) {
    std::vector<std::string> last = {"--bmp", "--port"};
    Options o(last, "capture");
    EXPECT_TRUE(o.flag("--bmp"));
    EXPECT_EQ(usageError([&] { o.value("--port"); }), "--port needs a value");

    for (const char* text : {"", "x", "12x", " 1", "+5", "0x10", "99999999999"}) {
        EXPECT_EQ(usageError([&] { parseNumber("--quality", text); }),
                  "--quality needs a number, not \"" + std::string(text) + "\"")
            << text;
    }
    EXPECT_EQ(parseNumber("--quality", "-5"), -5);
    EXPECT_EQ(parseNumber("--quality", "2147483647"), 2147483647);
}

TEST(CliOptions, APortIsAComNumberFromOneUp) {
    auto port = [](std::vector<std::string> args) {
        Options o(args, "send");
        return o.port();
    };
    EXPECT_EQ(port({"--port=12"}), 12);
    EXPECT_EQ(port({"--port", "1"}), 1);
    EXPECT_EQ(usageError([&] {
                  port({"--port", "0"});
              }),
              "--port takes a COM number from 1 to 255, not 0");
    EXPECT_EQ(usageError([&] {
                  port({"--port", "-3"});
              }),
              "--port takes a COM number from 1 to 255, not -3");
    EXPECT_EQ(usageError([&] {
                  port({"--port", "256"});
              }),
              "--port takes a COM number from 1 to 255, not 256");
    EXPECT_EQ(usageError([&] { port({"--port", "COM3"}); }), "--port needs a number, not \"COM3\"");
}

TEST(CliOptions, AChoiceNamesTheOptionOfAnUnknownValue) {
    enum class Format { Normal, Hex };
    constexpr Named<Format> kFormats[] = {{"normal", Format::Normal}, {"hex", Format::Hex}};
    std::vector<std::string> args = {"--format", "hex", "--format=octal"};
    Options o(args, "monitor");
    EXPECT_EQ(o.choice("--format", kFormats), Format::Hex);
    EXPECT_EQ(usageError([&] { o.choice("--format", kFormats); }),
              "unknown value for --format: octal");
}

TEST(CliDispatch, TheSubcommandRunsWithTheArgumentsAfterItsName) {
    Ran r = run(testProgram(), {"go", "a.bin", "--fast"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(seen, (std::vector<std::string>{"a.bin", "--fast"}));
    EXPECT_EQ(run(testProgram(), {"go"}).status, kExitOk);
    EXPECT_TRUE(seen.empty());
}

TEST(CliDispatch, AMissingOrUnknownSubcommandIsAUsageError) {
    Ran none = run(testProgram(), {});
    EXPECT_EQ(none.status, kExitUsage);
    EXPECT_EQ(none.err, "prog: a subcommand is needed\nTry 'prog --help'.\n");
    EXPECT_EQ(none.out, "");

    for (auto args :
         {std::vector<std::string>{"fly"}, {"fly", "--help"}, {"--fast", "go"}, {"Go"}}) {
        Ran r = run(testProgram(), args);
        EXPECT_EQ(r.status, kExitUsage);
        EXPECT_EQ(r.err, "prog: unknown subcommand " + args[0] + "\nTry 'prog --help'.\n");
        EXPECT_EQ(seen, std::vector<std::string>{"not run"});
    }
}

TEST(CliDispatch, AUsageErrorOfTheSubcommandIsFollowedByTheHintOrTheHelp) {
    Ran r = run(testProgram(), {"strict", "x"});
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.err, "prog: strict takes no x\nTry 'prog --help'.\n");
    r = run(testProgram(AfterUsageError::ShowHelp), {"strict", "x"});
    EXPECT_EQ(r.err, "prog: strict takes no x\n" + helpText(testProgram()));
    EXPECT_EQ(r.out, "");
}

TEST(CliDispatch, HelpWhereverItIsAskedForWithoutRunningAnything) {
    for (auto args : {std::vector<std::string>{"--help"},
                      {"-h"},
                      {"help"},
                      {"help", "go"},
                      {"go", "a.bin", "-h"},
                      {"strict", "--help"}}) {
        Ran r = run(testProgram(), args);
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_EQ(r.out, helpText(testProgram()));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(seen, std::vector<std::string>{"not run"});
    }
}

TEST(CliDispatch, TheHelpListsTheSynopsesAlignedThenEachSubcommand) {
    EXPECT_EQ(helpText(testProgram()),
              "usage: prog                     (the window)\n"
              "       prog go FILE [--fast] [--port N]\n"
              "               [--colour C]\n"
              "       prog strict\n"
              "\n"
              "go        goes.\n"
              "  --fast  quicker\n"
              "strict    takes nothing.\n"
              "\n"
              "Notes.\n");
}

TEST(CliDispatch, VersionPrintsTheProjectsOneNumber) {
    Ran r = run(testProgram(), {"--version"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "prog " VELTRIX_VERSION "\n");
    EXPECT_TRUE(std::regex_match(VELTRIX_VERSION, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
    EXPECT_EQ(run(testProgram(), {"go", "--version"}).status,
              kExitFailed);  // the subcommand's own argument
}

TEST(CliDispatch, TheBarIsWipedWhenTheSubcommandEnds) {
    Ran r = run(testProgram(), {"go"}, true);
    EXPECT_EQ(r.err, "\rTransferring... [############..................]  40%\r\033[K");
}

TEST(CliConsole, OnATerminalTheBarIsWipedBeforeEveryLine) {
    std::ostringstream out, err;
    Console c(out, err, true);
    c.progress(3);
    c.progress(55);
    c.message("Retrying.");
    c.progress(250);
    c.printLine("done");
    c.clearProgress();
    c.progress(100);
    c.progress(-1);
    c.progress(0);
    c.print("a\nb\n");
    EXPECT_EQ(err.str(),
              "\rTransferring... [..............................]   3%"
              "\rTransferring... [################..............]  55%\r\033[K"
              "Retrying.\n"
              "\rTransferring... [##############################] 100%\r\033[K"
              "\rTransferring... [##############################] 100%\r\033[K");
    EXPECT_EQ(out.str(), "done\na\nb\n");
}

TEST(CliConsole, WithoutATerminalThereIsNoBar) {
    std::ostringstream out, err;
    Console c(out, err, false);
    c.progress(50);
    c.message("Initializing...");
    c.progress(0);
    c.printLine("result");
    EXPECT_EQ(err.str(), "Initializing...\n");
    EXPECT_EQ(out.str(), "result\n");
}

TEST(CliConsole, LinesFromSeveralThreadsStayWhole) {
    std::ostringstream out, err;
    Console c(out, err, true);
    constexpr int kLines = 300;
    auto write = [&](char who) {
        for (int i = 0; i < kLines; ++i) {
            c.progress(i % 100 + 1);
            c.message(std::string(40, who));
            c.printLine(std::string(40, who));
        }
    };
    std::thread a(write, 'a'), b(write, 'b');
    write('c');
    a.join();
    b.join();
    for (std::ostringstream* s : {&out, &err}) {
        std::string text =
            std::regex_replace(s->str(), std::regex("\r(Transferring[^%]*%)?(\033\\[K)?"), "");
        std::istringstream in(text);
        std::map<char, int> counts;
        for (std::string line; std::getline(in, line);) {
            ASSERT_EQ(line.size(), 40u) << line;
            ASSERT_EQ(line, std::string(40, line[0]));
            ++counts[line[0]];
        }
        EXPECT_EQ(counts, (std::map<char, int>{{'a', kLines}, {'b', kLines}, {'c', kLines}}));
    }
}
