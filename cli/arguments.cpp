#include "cli/arguments.h"

namespace cli {

const wchar_t kUsageSynopsis[] =
    L"usage: quillmar-cli.exe analyze [--content] [--simultaneous] [--all] [--null] [--log FOLDER]\n"
    L"                                [--time-window SECONDS] [--ignore-hour-shift] LEFT RIGHT\n"
    L"       quillmar-cli.exe commit [--dry-run] [--content] [--simultaneous] [--null] [--log FOLDER]\n"
    L"                               [--time-window SECONDS] [--ignore-hour-shift] [--max-delete N]\n"
    L"                               [--allow-delete-all] [--delete-without-recycle-bin] LEFT RIGHT\n"
    L"       quillmar-cli.exe update [--dry-run] [--content] [--simultaneous] [--null] [--log FOLDER]\n"
    L"                               [--time-window SECONDS] [--ignore-hour-shift] [--max-delete N]\n"
    L"                               [--allow-delete-all] [--delete-without-recycle-bin] LEFT RIGHT\n"
    L"       quillmar-cli.exe --help | -h | /?\n"
    L"       quillmar-cli.exe --version\n";

namespace {

const wchar_t kHelpBody[] =
    L"\n"
    L"Compares two folders, LEFT and RIGHT, and brings one into line with the other.\n"
    L"  analyze   lists what differs between LEFT and RIGHT\n"
    L"  commit    makes RIGHT like LEFT: copies New and Modified files to RIGHT, deletes\n"
    L"            from RIGHT the files that LEFT lacks, creates and removes folders\n"
    L"  update    makes LEFT like RIGHT, the other way round\n"
    L"Deleted files go to the Recycle Bin, and so do the files that copies replace;\n"
    L"folders are removed only when empty. Links (symbolic links, junctions, mount\n"
    L"points) are never followed: they are UNKNOWN and left alone.\n"
    L"\n"
    L"Options:\n"
    L"  --content       compare the content of the files byte for byte; without it,\n"
    L"                  files are compared by size and last-write time, and times\n"
    L"                  that differ by 2 seconds or less are the same (FAT keeps\n"
    L"                  times in steps of 2 seconds, exFAT and many shares in seconds)\n"
    L"  --time-window SECONDS\n"
    L"                  times that differ by up to SECONDS (2 or more) are the same,\n"
    L"                  for shares whose clocks drift\n"
    L"  --ignore-hour-shift\n"
    L"                  times that differ by one hour (within the window) are the same,\n"
    L"                  for FAT volumes after a change of daylight-saving time\n"
    L"  --simultaneous  read both folders at the same time (faster on two disks)\n"
    L"  --all           analyze: list every item of both folders, identical ones too\n"
    L"  --dry-run       commit, update: print the operations that would run, and\n"
    L"                  change nothing\n"
    L"  --null          end each record on standard output with a NUL character\n"
    L"                  instead of a line break (for names that hold line breaks)\n"
    L"  --log FOLDER    write the logs into FOLDER, as AnalyzeLog.txt and\n"
    L"                  SynchronizeLog.txt\n"
    L"  --max-delete N  commit, update: refuse a run that would delete more than N\n"
    L"                  files and folders\n"
    L"  --allow-delete-all\n"
    L"                  commit, update: allow a run that deletes every entry of the\n"
    L"                  folder made to match (refused without it: the other folder\n"
    L"                  may be empty by mistake, a drive not mounted, say)\n"
    L"  --delete-without-recycle-bin\n"
    L"                  commit, update: delete for good a file that cannot go to the\n"
    L"                  Recycle Bin; without it, such a file is left and reported\n"
    L"  --              the arguments that follow are folders, even if they begin with -\n"
    L"\n"
    L"Output: UTF-8 on standard output, fields separated by a tab, folders in paths\n"
    L"separated by a backslash (\\).\n"
    L"  analyze         one line for each item that differs, as seen from LEFT:\n"
    L"                    STATE<tab>KIND<tab>PATH\n"
    L"                  STATE: NEW (only in LEFT), MISSING (only in RIGHT), MODIFIED\n"
    L"                  (in both, but different; for a folder: something inside\n"
    L"                  differs) or UNKNOWN (in both, but could not be compared);\n"
    L"                  KIND: file or folder; PATH: relative to LEFT and RIGHT.\n"
    L"  analyze --all   one line for each item of each folder, sorted by side and path:\n"
    L"                    SIDE<tab>STATE<tab>KIND<tab>PATH\n"
    L"                  SIDE: 0 (LEFT) or 1 (RIGHT); STATE: Identical, New, Missing,\n"
    L"                  Modified or Unknown, as seen from that side; KIND: F or D.\n"
    L"                  Either listing ends with a summary on standard error: the count\n"
    L"                  of each state among the items seen from LEFT, and the bytes\n"
    L"                  compared.\n"
    L"  commit, update  one line for each operation done, in the order done:\n"
    L"                    copy<tab>SOURCE<tab>TARGET   delete<tab>PATH\n"
    L"                    mkdir<tab>PATH               rmdir<tab>PATH\n"
    L"                  with full paths. An operation not done goes to standard error\n"
    L"                  as the same line followed by \": \" and the reason. A summary\n"
    L"                  of what was copied, deleted, created, removed and not done\n"
    L"                  follows on standard error. With --dry-run, the lines are the\n"
    L"                  operations that would run.\n"
    L"When standard error is a console, it shows the folders and files listed so far\n"
    L"on each side while the folders are scanned, then the progress of the content\n"
    L"comparison.\n"
    L"\n"
    L"Exit status:\n"
    L"  analyze         0 no difference, 1 differences found (or items that could not\n"
    L"                  be read), 2 trouble\n"
    L"  commit, update  0 every operation done, 1 some operations skipped or failed (or\n"
    L"                  items that could not be read), 2 trouble\n"
    L"  Trouble: bad usage, a folder that cannot be read, a failed analysis, a cancel\n"
    L"  (Ctrl+C), a run refused for what it would delete, or a run that ended early\n"
    L"  with nothing changed (no memory, a log that cannot be created).\n"
    L"\n"
    L"Logs: items that could not be read, compared, copied or deleted are written to a\n"
    L"log, which standard error names when it holds entries; a log with no entries is\n"
    L"deleted. Without --log, each run has its own logs in the temporary folder:\n"
    L"  %TEMP%\\quillmar-cli-DATE-TIME-PROCESS-AnalyzeLog.txt\n"
    L"  %TEMP%\\quillmar-cli-DATE-TIME-PROCESS-SynchronizeLog.txt\n";

// A whole number of 0 or more, in decimal digits only.
bool ParseCount(const std::wstring& text, long long* count) {
    if (text.empty() || text.size() > 15) return false;
    long long value = 0;
    for (wchar_t digit : text) {
        if (digit < L'0' || digit > L'9') return false;
        value = value * 10 + (digit - L'0');
    }
    *count = value;
    return true;
}

bool IsHelp(const std::wstring& argument) {
    return argument == L"--help" || argument == L"-h" || argument == L"/?";
}

}  // namespace

std::wstring HelpText() { return kUsageSynopsis + std::wstring(kHelpBody); }

std::wstring ParseArguments(const std::vector<std::wstring>& arguments, Options* options) {
    *options = Options{};
    // Help wins wherever it stands, so that "quillmar-cli commit --help" is safe to try.
    for (const std::wstring& argument : arguments) {
        if (argument == L"--") break;
        if (IsHelp(argument)) {
            options->command = Command::Help;
            return std::wstring();
        }
    }
    if (arguments.empty()) return L"no command given";
    const std::wstring& command = arguments[0];
    if (command == L"--version") {
        options->command = Command::Version;
        return arguments.size() == 1 ? std::wstring() : L"--version takes no arguments";
    }
    if (command == L"commit") {
        options->command = Command::Commit;
    } else if (command == L"update") {
        options->command = Command::Update;
    } else if (command != L"analyze") {
        return L"unknown command \"" + command + L"\"";
    }
    const bool analyze = options->command == Command::Analyze;
    bool onlyFolders = false;
    for (size_t index = 1; index < arguments.size(); ++index) {
        const std::wstring& argument = arguments[index];
        // A folder whose name begins with a dash follows "--".
        if (onlyFolders || argument.size() < 2 || argument[0] != L'-') {
            options->folders.push_back(argument);
        } else if (argument == L"--") {
            onlyFolders = true;
        } else if (argument == L"--content") {
            options->compareContent = true;
        } else if (argument == L"--simultaneous") {
            options->simultaneous = true;
        } else if (argument == L"--null") {
            options->nullTerminated = true;
        } else if (argument == L"--all" && analyze) {
            options->listAll = true;
        } else if (argument == L"--dry-run" && !analyze) {
            options->dryRun = true;
        } else if (argument == L"--ignore-hour-shift") {
            options->ignoreHourShift = true;
        } else if (argument == L"--time-window") {
            long long seconds = 0;
            if (++index == arguments.size() || !ParseCount(arguments[index], &seconds) || seconds < 2 ||
                seconds > 86400)
                return L"--time-window needs a number of SECONDS from 2 to 86400";
            options->timeWindowSeconds = static_cast<unsigned>(seconds);
        } else if (argument == L"--delete-without-recycle-bin" && !analyze) {
            options->deleteWithoutRecycleBin = true;
        } else if (argument == L"--allow-delete-all" && !analyze) {
            options->allowDeleteAll = true;
        } else if (argument == L"--max-delete" && !analyze) {
            if (++index == arguments.size() || !ParseCount(arguments[index], &options->maxDelete))
                return L"--max-delete needs a number N of 0 or more";
        } else if (argument == L"--log") {
            if (++index == arguments.size() || arguments[index].empty()) return L"--log needs a FOLDER";
            options->logFolder = arguments[index];
        } else if (argument == L"--all" || argument == L"--dry-run" || argument == L"--max-delete" ||
                   argument == L"--allow-delete-all" || argument == L"--delete-without-recycle-bin") {
            return argument + L" does not go with " + command;
        } else {
            return L"unknown option \"" + argument + L"\"";
        }
    }
    if (options->folders.size() != 2)
        return L"two folders are needed, LEFT and RIGHT; " + std::to_wstring(options->folders.size()) + L" given";
    return std::wstring();
}

}  // namespace cli
