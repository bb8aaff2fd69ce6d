#pragma once
// The companion's command line: commands, options and the usage text.
#include "model/file_times.h"
#include "sync/two_way.h"

#include <string>
#include <vector>

namespace cli {

enum class Command { Help, Version, Analyze, Commit, Update, Catalog, TwoWay, Verify };

struct Options {
    Command command = Command::Analyze;
    bool compareContent = false;
    bool simultaneous = false;
    bool listAll = false;
    bool json = false;  // JSON Lines instead of the text listing: an object per item, or per operation
    // Without --content: when two times are the same (--time-window, --ignore-hour-shift); zeroed: the default.
    TimeRule timeRule = {};
    bool dryRun = false;  // commit, update, sync: print what would run, change nothing
    bool nullTerminated = false;  // records end in NUL instead of a line break
    // commit, update, sync: a file that cannot go to the Recycle Bin is deleted for good
    bool deleteWithoutRecycleBin = false;
    bool allowDeleteAll = false;  // commit, update, sync: a run may delete every entry of the folder made to match
    long long maxDelete = -1;  // commit, update, sync: the most files and folders a run may delete; -1 for no limit
    long long maxReplace = -1;  // commit, update, sync: the most files a run may replace; -1 for no limit
    bool verify = false;  // commit, update, sync: each copy read back and compared before it takes its place
    std::wstring backupDir;  // commit, update, sync: where removed files go; empty for the Recycle Bin
    unsigned backupKeepDays = 0;  // commit, update, sync: days the runs' folders there are kept; 0 for ever
    std::wstring baseline;  // sync: the record of the last run
    bool newBaseline = false;  // sync: run as a first run and replace the baseline
    TwoWayPrefer prefer = TwoWayPreferNone;  // sync: whose version settles a conflict
    std::wstring logFolder;  // empty: files of this run in the temporary folder
    // Entries left out as if absent: patterns of --exclude and files of --exclude-from, as given.
    std::vector<std::wstring> excludePatterns;
    std::vector<std::wstring> excludeFiles;
    bool skipLinks = false;  // links left out on both sides as excluded entries are, and counted apart
    bool deleteExcluded = false;  // commit, update: what the patterns leave out of the target is deleted too
    std::vector<std::wstring> folders;  // as given; for catalog, FOLDER and FILE; for verify, CATALOG and FOLDER
};

// Reads the arguments after the program's name. Returns an empty text when
// they make a valid command line, otherwise what is wrong with them.
std::wstring ParseArguments(const std::vector<std::wstring>& arguments, Options* options);

// The short form, shown after a usage error.
extern const std::wstring kUsageSynopsis;
// The whole help: commands, options, output, exit statuses and logs.
std::wstring HelpText();

}  // namespace cli
