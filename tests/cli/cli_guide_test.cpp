// The user guide's runnable examples: every block fenced as ```run is run over the
// folder pair the guide describes, and each command's standard output and exit
// status must be what the guide shows under it.
#include "model/text.h"
#include "tests/cli/companion_output.h"
#include "tests/support/companion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The folder the guide's examples run in; the fixture's real folder stands in for it.
const char kGuideFolder[] = "C:\\Data\\";
const char kJsonGuideFolder[] = "C:\\\\Data\\\\";
const char kCommand[] = "quillmar-cli ";
const char kStatus[] = "(exit status ";

// The pair of the guide's "The folders of the examples", made anew for each block.
struct FixtureEntry {
    const wchar_t* path;  // a folder's ends in a backslash
    size_t size;
    char fill;
    const char* time;
} const kFixture[] = {
    {L"Work\\", 0, 0, "2026-12-07T14:18:11.0000000Z"},
    {L"Work\\notes.txt", 4210, 'n', "2026-11-02T10:00:00.0000000Z"},
    {L"Work\\plan.txt", 1500, 'a', "2026-12-03T16:45:10.2000000Z"},
    {L"Work\\photos\\", 0, 0, "2026-12-07T14:18:11.0000000Z"},
    {L"Work\\photos\\cat.jpg", 120431, 'c', "2026-12-07T14:18:11.1234567Z"},
    {L"Work\\todo.txt", 312, 't', "2026-12-06T08:30:00.0000000Z"},
    {L"Backup\\", 0, 0, "2026-12-01T09:02:46.0000000Z"},
    {L"Backup\\notes.txt", 4210, 'n', "2026-11-02T10:00:00.0000000Z"},
    {L"Backup\\plan.txt", 1500, 'b', "2026-12-03T16:45:10.0000000Z"},
    {L"Backup\\photos\\", 0, 0, "2026-12-01T09:02:46.0000000Z"},
    {L"Backup\\photos\\cat.jpg", 98112, 'k', "2026-12-01T09:02:45.5000000Z"},
    {L"Backup\\photos\\2024\\", 0, 0, "2026-11-30T17:40:02.0000000Z"},
    {L"Backup\\photos\\2024\\beach.jpg", 204800, 'e', "2024-08-14T11:20:31.0000000Z"},
};

void MakeFixture(const TempFolder& root) {
    for (const FixtureEntry& entry : kFixture) {
        std::wstring path(entry.path);
        if (path.back() == L'\\')
            root.MakeFolder(path);
        else
            root.MakeFile(path, std::string(entry.size, entry.fill));
    }
    // Folders last: what is made inside a folder changes its time.
    for (bool folders : {false, true}) {
        for (const FixtureEntry& entry : kFixture) {
            if ((std::wstring(entry.path).back() == L'\\') != folders) continue;
            uint64_t ticks = 0;
            ASSERT_TRUE(ParseIsoTime(entry.time, strlen(entry.time), &ticks)) << entry.time;
            ASSERT_TRUE(SetLastWriteTime(root.PathOf(entry.path), ticks)) << Utf8(entry.path);
        }
    }
}

struct Step {
    int line;  // of the command, in the guide
    std::string command;
    std::string expectedOut;
    long expectedStatus = -1;
};

// One block's commands, run in turn over one fixture.
typedef std::vector<Step> Example;

// A command's arguments: words apart by spaces, a double-quoted run kept as one.
std::vector<std::wstring> ArgumentsOf(const std::string& command) {
    std::vector<std::wstring> arguments;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : command.substr(strlen(kCommand)) + " ") {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord) arguments.push_back(Wide(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    return arguments;
}

// The runnable blocks: in each, a line that begins with "quillmar-cli " is a
// command, the lines after it its standard output, and "(exit status N)" ends it.
std::vector<Example> RunnableExamples(const std::string& guide) {
    std::vector<Example> examples;
    bool inBlock = false;
    int number = 0;
    for (std::string line : LinesOf(guide)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!inBlock) {
            inBlock = line == "```run";
            if (inBlock) examples.emplace_back();
            continue;
        }
        Example& steps = examples.back();
        bool open = !steps.empty() && steps.back().expectedStatus < 0;
        if (line == "```") {
            inBlock = false;
            if (steps.empty() || open) ADD_FAILURE() << "guide line " << number << ": a command without its status";
        } else if (line.compare(0, strlen(kCommand), kCommand) == 0) {
            if (open) ADD_FAILURE() << "guide line " << number << ": a command after one without its status";
            steps.push_back(Step{number, line, std::string()});
        } else if (!open) {
            ADD_FAILURE() << "guide line " << number << ": a line outside any command: " << line;
        } else if (line.compare(0, strlen(kStatus), kStatus) == 0 && line.back() == ')') {
            steps.back().expectedStatus = std::stol(line.substr(strlen(kStatus)));
        } else {
            steps.back().expectedOut += line + "\n";
        }
    }
    if (inBlock) ADD_FAILURE() << "the guide's last runnable block is not closed";
    return examples;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The guide as the build found it; a Linux path is reached through drive Z:, Wine's root.
std::string ReadGuide() {
    std::wstring path = Wide(QUILLMAR_USER_GUIDE);
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    return ReadWholeFile(path);
}

TEST(UserGuideTest, EveryRunnableExampleShowsWhatTheCompanionPrints) {
    const std::string guide = ReadGuide();
    ASSERT_FALSE(guide.empty()) << "cannot read " << QUILLMAR_USER_GUIDE;
    std::vector<Example> examples = RunnableExamples(guide);
    EXPECT_GE(examples.size(), 1u) << "no runnable example in the guide";
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    for (const Example& example : examples) {
        TempFolder root;
        TempFolder output;
        MakeFixture(root);
        // The examples name the folders relative to the one that holds them.
        ASSERT_TRUE(SetCurrentDirectoryW(root.Path().c_str()));
        for (const Step& step : example) {
            CompanionRun run = RunCompanion(ArgumentsOf(step.command), output);
            for (const std::wstring& log : NamedLogs(run.err)) DeleteFileW(log.c_str());
            // In JSON records the folder stands with its backslashes escaped.
            const std::string out = Replaced(Replaced(run.out, Utf8(root.Path()), kGuideFolder),
                                             Replaced(Utf8(root.Path()), "\\", "\\\\"), kJsonGuideFolder);
            EXPECT_EQ(out, step.expectedOut)
                << "guide line " << step.line << ": " << step.command << "\n" << run.err;
            EXPECT_EQ(static_cast<long>(run.exitCode), step.expectedStatus)
                << "guide line " << step.line << ": " << step.command << "\n" << run.err;
        }
        SetCurrentDirectoryW(previous);
    }
}

// What the companion's help names: each command with the options it takes, as
// its usage lists them, and each option as its list of options spells it.
struct HelpNames {
    std::string usage;  // up to the help's first blank line
    std::set<std::string> commands;
    std::map<std::string, std::set<std::string>> commandsOf;  // by option name
    std::map<std::string, std::string> spellingOf;  // "--log FOLDER", by option name
};

std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

HelpNames ReadHelp() {
    HelpNames help;
    TempFolder output;
    const CompanionRun run = RunCompanion({L"--help"}, output);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    help.usage = run.out.substr(0, run.out.find("\n\n") + 1);
    // "quillmar-cli.exe COMMAND [--option VALUE]... --needed VALUE OPERANDS", wrapped.
    std::string command;
    std::istringstream words(help.usage);
    for (std::string word; words >> word;) {
        if (word == "quillmar-cli.exe") {
            words >> command;
            if (command.compare(0, 2, "--") == 0)
                help.commandsOf[command];  // --help and --version stand alone
            else
                help.commands.insert(command);
            continue;
        }
        const size_t start = word.find("--");
        if (start <= 1) help.commandsOf[word.substr(start, word.find(']') - start)].insert(command);
    }
    // "  --name VALUE" and its help two spaces or a line break after it.
    for (const std::string& line : LinesOf(run.out.substr(run.out.find("\nOptions:\n")))) {
        if (line.compare(0, 4, "  --") != 0 || line.compare(0, 5, "  -- ") == 0) continue;
        const std::string spelling = line.substr(2, line.find("  ", 2) - 2);
        help.spellingOf[FirstWord(spelling)] = spelling;
    }
    return help;
}

std::string WordsOf(const std::string& text) {
    std::istringstream words(text);
    std::string joined;
    for (std::string word; words >> word;) joined += word + " ";
    return joined;
}

// The guide's usage block, fenced as code and beginning with "usage: ".
std::string GuideUsage(const std::string& guide) {
    const size_t start = guide.find("```\nusage: ");
    if (start == std::string::npos) return std::string();
    const size_t end = guide.find("\n```", start + 4);
    return guide.substr(start + 4, end - start - 4);
}

TEST(UserGuideTest, UsageIsTheHelpsOwn) {
    const std::string guide = ReadGuide();
    const HelpNames help = ReadHelp();
    ASSERT_EQ(help.commands, (std::set<std::string>{"analyze", "catalog", "commit", "sync", "update", "verify"}));
    // The same commands, options, values and operands in the same order; the lines may break elsewhere.
    EXPECT_EQ(WordsOf(GuideUsage(guide)), WordsOf(help.usage));
}

// Each option has one entry in the guide's list, "- `--name VALUE` (command, ...)",
// naming the commands it goes with, or none when it goes with every one.
TEST(UserGuideTest, EachOptionHasOneEntryNamingItsCommands) {
    const std::string guide = ReadGuide();
    HelpNames help = ReadHelp();
    ASSERT_FALSE(help.spellingOf.empty());
    std::map<std::string, int> entries;
    const std::regex entry("- `(--[a-z][^`]*)`( \\(([a-z, ]+)\\))?.*");
    for (std::string line : LinesOf(guide)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::smatch parts;
        if (!std::regex_match(line, parts, entry)) continue;
        const std::string name = FirstWord(parts[1]);
        ++entries[name];
        const auto spelling = help.spellingOf.find(name);
        EXPECT_EQ(parts[1].str(), spelling == help.spellingOf.end() ? "(no such option)" : spelling->second)
            << line;
        std::set<std::string> commands = help.commands;
        if (parts[3].matched) {
            commands.clear();
            std::istringstream list(parts[3].str());
            for (std::string command; std::getline(list >> std::ws, command, ',');) commands.insert(command);
        }
        EXPECT_EQ(commands, help.commandsOf[name]) << line;
    }
    for (const auto& option : help.spellingOf) EXPECT_EQ(entries[option.first], 1) << option.second;
}

TEST(UserGuideTest, NamesOnlyOptionsTheCompanionTakes) {
    const std::string guide = ReadGuide();
    const HelpNames help = ReadHelp();
    const std::regex option("--[a-z][a-z-]*");
    for (auto found = std::sregex_iterator(guide.begin(), guide.end(), option); found != std::sregex_iterator();
         ++found)
        EXPECT_EQ(help.commandsOf.count(found->str()), 1u) << found->str();
}

}  // namespace
