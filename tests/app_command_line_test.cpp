// The program's command line: --help names every option the program reads, and
// every option it explains is one the program takes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <set>
#include <string>

#include "app_Session.h"

namespace {

// Runs the program with `args` (already quoted for the shell); its standard
// output and error together, and its exit status in `status`.
std::string RunLumetra(const std::string& args, int& status) {
    FILE* p = popen((LumetraProgram() + " " + args + " 2>&1").c_str(), "r");
    if (!p) return "";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    status = pclose(p);
    return out;
}

// Every option the program's own parser compares an argument with: the string
// literals of app/main/main.cpp that are a whole option ("--name" or "-x").
std::set<std::string> ParsedOptions() {
    std::string source = testing_support::ReadText(std::string(LUMETRA_SOURCE_DIR) + "/app/main/main.cpp");
    std::set<std::string> options;
    std::regex literal("\"(--?[a-z][a-z-]*)\"");
    for (auto it = std::sregex_iterator(source.begin(), source.end(), literal); it != std::sregex_iterator(); ++it)
        options.insert((*it)[1]);
    return options;
}

TEST(CommandLine, HelpAndTheParserKnowTheSameOptions) {
    int status = -1;
    std::string help = RunLumetra("--help", status);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << help;

    // Every option the parser reads is named by --help.
    std::set<std::string> options = ParsedOptions();
    ASSERT_GE(options.size(), 7u) << "the parser's options were not found in app/main/main.cpp";
    for (const std::string& option : options) {
        std::regex named("(^|[\\s\\[,])" + option + "([\\s\\],]|$)");
        EXPECT_TRUE(std::regex_search(help, named)) << option << " is accepted but --help does not name it:\n" << help;
    }

    // Every option --help explains is taken. Option lines: "  --name VALUE   text"
    // or "  -h, --name   text".
    std::regex line("^  (?:-[a-z], )?(--[a-z][a-z-]*)( [A-Z]+)?  ");
    int explained = 0;
    std::istringstream lines(help);
    std::string text;
    while (std::getline(lines, text)) {
        std::smatch m;
        if (!std::regex_search(text, m, line)) continue;
        explained++;
        // A value of 1 suits every option that takes one (--scale takes 1 to 4);
        // --help after it ends the run before anything starts.
        std::string args = m[1].str() + (m[2].matched ? " 1" : "") + " --help";
        int optionStatus = -1;
        std::string out = RunLumetra(args, optionStatus);
        EXPECT_TRUE(WIFEXITED(optionStatus) && WEXITSTATUS(optionStatus) == 0) << args << ":\n" << out;
        EXPECT_EQ(std::string::npos, out.find("unknown option")) << args << ":\n" << out;
    }
    EXPECT_EQ(options.size() - options.count("-h"), (size_t)explained) << "each option is explained once:\n" << help;
    // And an option the parser does not know is refused.
    std::string out = RunLumetra("--no-such-option", status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << out;
    EXPECT_NE(std::string::npos, out.find("unknown option")) << out;
}

}  // namespace
