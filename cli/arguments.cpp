#include "cli/arguments.h"

#include <algorithm>
#include <iterator>

namespace cli {

namespace {

// The commands an option goes with, as bits.
enum CommandBits : unsigned {
    kAnalyze = 1u << unsigned(Command::Analyze),
    kCommit = 1u << unsigned(Command::Commit),
    kUpdate = 1u << unsigned(Command::Update),
    kCatalog = 1u << unsigned(Command::Catalog),
    kTwoWay = 1u << unsigned(Command::TwoWay),
    kVerify = 1u << unsigned(Command::Verify),
    kOneWay = kCommit | kUpdate,
    kSync = kOneWay | kTwoWay,
    kTwoSides = kAnalyze | kSync,
    kCompares = kTwoSides | kVerify,
    kEvery = kCompares | kCatalog,
};

// The most days --backup-keep-days takes: a hundred years.
const long long kMostKeepDays = 36500;

// A whole number of 0 or more, in decimal digits only.
bool ParseOptionNumber(const std::wstring& text, long long* count) {
    if (text.empty() || text.size() > 15) return false;
    long long value = 0;
    for (wchar_t digit : text) {
        if (digit < L'0' || digit > L'9') return false;
        value = value * 10 + (digit - L'0');
    }
    *count = value;
    return true;
}

bool SetTimeWindow(Options* options, const std::wstring& value) {
    long long seconds = 0;
    if (!ParseOptionNumber(value, &seconds) || seconds == 1 || seconds > 86400) return false;
    options->timeRule.windowSeconds = static_cast<uint32_t>(seconds);
    // 0 asks for times equal to the tick, for file systems that keep them so.
    options->timeRule.exact = seconds == 0;
    return true;
}

// One option: its name, the value it takes (null for none), the commands it
// goes with, how it sets its field (false for a value it refuses), what a
// missing or refused value is told, and its help, which the help text wraps
// anew after the commands it goes with.
struct OptionRow {
    const wchar_t* name;
    const wchar_t* value;
    unsigned commands;
    bool repeats;
    bool required;  // the commands it goes with need it
    bool (*set)(Options* options, const std::wstring& value);
    const wchar_t* valueProblem;
    const wchar_t* help;
};

// In the order of the synopsis and the help.
const OptionRow kOptions[] = {
    {L"--dry-run", nullptr, kSync, false, false,
     [](Options* o, const std::wstring&) { return o->dryRun = true; }, nullptr,
     L"print the operations that would run, and change nothing"},
    {L"--content", nullptr, kTwoSides | kCatalog, false, false,
     [](Options* o, const std::wstring&) { return o->compareContent = true; }, nullptr,
     L"compare the content of the files byte for byte; without it,\n"
     L"files are compared by size and last-write time, and times\n"
     L"that differ by 2 seconds or less are the same (FAT keeps\n"
     L"times in steps of 2 seconds, exFAT and many shares in seconds);\n"
     L"catalog: write a SHA-256 digest of each file's content"},
    {L"--simultaneous", nullptr, kAnalyze | kOneWay, false, false,
     [](Options* o, const std::wstring&) { return o->simultaneous = true; }, nullptr,
     L"read both folders at the same time (faster on two disks)"},
    {L"--all", nullptr, kAnalyze, false, false,
     [](Options* o, const std::wstring&) { return o->listAll = true; }, nullptr,
     L"list every item of both folders, identical ones too"},
    {L"--json", nullptr, kCompares, false, false,
     [](Options* o, const std::wstring&) { return o->json = true; }, nullptr,
     L"one JSON object per item (analyze), per difference (verify) or per\n"
     L"operation (commit, update, sync) instead of the text listing"},
    {L"--null", nullptr, kCompares, false, false,
     [](Options* o, const std::wstring&) { return o->nullTerminated = true; }, nullptr,
     L"end each record on standard output with a NUL character\n"
     L"instead of a line break (for names that hold line breaks)"},
    {L"--log", L"FOLDER", kEvery, false, false,
     [](Options* o, const std::wstring& value) {
         o->logFolder = value;
         return !value.empty();
     },
     L"needs a FOLDER",
     L"write the logs into FOLDER, as AnalyzeLog.txt and\n"
     L"SynchronizeLog.txt, which each run replaces"},
    {L"--time-window", L"SECONDS", kCompares, false, false, SetTimeWindow,
     L"needs a number of SECONDS from 2 to 86400, or 0",
     L"times that differ by up to SECONDS (2 to 86400; 2 without the\n"
     L"option) are the same, for shares whose clocks drift; 0: only\n"
     L"equal times are the same (NTFS keeps them exactly)"},
    {L"--ignore-hour-shift", nullptr, kCompares, false, false,
     [](Options* o, const std::wstring&) { return o->timeRule.ignoreHourShift = true; }, nullptr,
     L"times that differ by one hour (within the window) are the same,\n"
     L"for FAT volumes after a change of daylight-saving time"},
    {L"--verify", nullptr, kSync, false, false,
     [](Options* o, const std::wstring&) { return o->verify = true; }, nullptr,
     L"read each copy back and compare it byte for byte with its\n"
     L"source before it takes its place; a copy that differs is\n"
     L"removed, and the file it was to replace stays"},
    {L"--max-delete", L"N", kSync, false, false,
     [](Options* o, const std::wstring& value) { return ParseOptionNumber(value, &o->maxDelete); },
     L"needs a number N of 0 or more",
     L"refuse a run that would delete more than N files and folders"},
    {L"--max-replace", L"N", kSync, false, false,
     [](Options* o, const std::wstring& value) { return ParseOptionNumber(value, &o->maxReplace); },
     L"needs a number N of 0 or more",
     L"refuse a run that would replace more than N files (a source\n"
     L"whose files were all damaged or encrypted would replace every\n"
     L"file of the backup)"},
    {L"--allow-delete-all", nullptr, kSync, false, false,
     [](Options* o, const std::wstring&) { return o->allowDeleteAll = true; }, nullptr,
     L"allow a run that deletes every entry of the folder made to\n"
     L"match (refused without it: the other folder may be empty by\n"
     L"mistake, a drive not mounted, say)"},
    {L"--delete-without-recycle-bin", nullptr, kSync, false, false,
     [](Options* o, const std::wstring&) { return o->deleteWithoutRecycleBin = true; }, nullptr,
     L"delete for good a file that cannot go to the Recycle Bin;\n"
     L"without it, such a file is left and reported"},
    {L"--backup-dir", L"FOLDER", kSync, false, false,
     [](Options* o, const std::wstring& value) {
         o->backupDir = value;
         return !value.empty();
     },
     L"needs a FOLDER",
     L"move deleted files and the earlier versions of replaced files\n"
     L"into FOLDER\\YYYY-MM-DD_HHMMSS (the run's start, local time),\n"
     L"each under its path below the folder it left, instead of the\n"
     L"Recycle Bin; for shares and removable drives, which have none.\n"
     L"FOLDER must not lie inside LEFT or RIGHT, and is made when\n"
     L"missing (its parent must exist)"},
    {L"--backup-keep-days", L"N", kSync, false, false,
     [](Options* o, const std::wstring& value) {
         long long days = 0;
         if (!ParseOptionNumber(value, &days) || days < 1 || days > kMostKeepDays) return false;
         o->backupKeepDays = static_cast<unsigned>(days);
         return true;
     },
     L"needs a number N of days from 1 to 36500",
     L"with --backup-dir: once a run has done every operation (none\n"
     L"not done, not canceled, not a dry run), remove for good the run\n"
     L"folders of FOLDER whose names (YYYY-MM-DD_HHMMSS, or with _2,\n"
     L"_3...) tell a time more than N days (1 to 36500) ago; nothing\n"
     L"else there is touched, a run folder that holds a link is left\n"
     L"whole, and one that cannot be removed is told without changing\n"
     L"the exit status (\"earlier runs removed N\" in the summary)"},
    {L"--prefer", L"SIDE", kTwoWay, false, false,
     [](Options* o, const std::wstring& value) {
         o->prefer = value == L"left" ? TwoWayPreferLeft : value == L"right" ? TwoWayPreferRight
                     : value == L"newer"                                  ? TwoWayPreferNewer
                                                                          : TwoWayPreferNone;
         return o->prefer != TwoWayPreferNone;
     },
     L"needs left, right or newer",
     L"settle each conflict with SIDE's version: left, right, or newer (the one written last; "
     L"times within the window stay a conflict); the other version goes to the Recycle Bin or "
     L"--backup-dir, and a file deleted on one side and changed on the other keeps the change unless "
     L"SIDE is the one that deleted it"},
    {L"--new-baseline", nullptr, kTwoWay, false, false,
     [](Options* o, const std::wstring&) { return o->newBaseline = true; }, nullptr,
     L"run as a first run over LEFT and RIGHT (copies what only one\n"
     L"side has, deletes nothing) and replace the baseline; for\n"
     L"folders that were moved"},
    {L"--baseline", L"FILE", kTwoWay, false, true,
     [](Options* o, const std::wstring& value) {
         o->baseline = value;
         return !value.empty();
     },
     L"needs a FILE",
     L"the record of the last run (needed): LEFT and RIGHT as they\n"
     L"were after it; made by the first run"},
    // Patterns are checked with the files' patterns, once the line is read.
    {L"--exclude", L"PATTERN", kEvery, true, false,
     [](Options* o, const std::wstring& value) {
         o->excludePatterns.push_back(value);
         return true;
     },
     L"needs a PATTERN",
     L"leave out the files and folders that PATTERN matches, on both\n"
     L"sides, as if they were not there: not listed, read, compared,\n"
     L"copied or deleted, and an excluded folder is not entered. May\n"
     L"be given many times. * stands for any characters and ? for one,\n"
     L"within one name, ignoring case. A PATTERN of one name matches\n"
     L"it at any depth (*.tmp, node_modules); one with backslashes\n"
     L"between names, the whole path below LEFT and RIGHT (build\\*.obj,\n"
     L"docs\\drafts); a leading backslash keeps it to their top folder\n"
     L"(\\build), and a trailing one to folders (cache\\)"},
    {L"--exclude-from", L"FILE", kEvery, true, false,
     [](Options* o, const std::wstring& value) {
         o->excludeFiles.push_back(value);
         return !value.empty();
     },
     L"needs a FILE",
     L"the patterns of FILE, one a line, UTF-8; blank lines and lines\n"
     L"that begin with # are skipped, and the spaces that end a line\n"
     L"dropped. May be given many times"},
    {L"--skip-links", nullptr, kEvery, false, false,
     [](Options* o, const std::wstring&) { return o->skipLinks = true; }, nullptr,
     L"leave out links (symbolic links, junctions, mount points) on\n"
     L"both sides, as excluded entries are: not listed, logged or\n"
     L"acted on, and counted in the summary (\"links left out N\");\n"
     L"without it a link is UNKNOWN, logged, and makes the status 1"},
    {L"--delete-excluded", nullptr, kOneWay, false, false,
     [](Options* o, const std::wstring&) { return o->deleteExcluded = true; }, nullptr,
     L"delete from the folder made to match (RIGHT for commit, LEFT\n"
     L"for update) what --exclude and --exclude-from leave out too:\n"
     L"files go to the Recycle Bin or --backup-dir, folders are\n"
     L"removed once empty, all counted by --max-delete; a link is\n"
     L"left alone, and so are the folders that hold one"},
};

const struct {
    Command command;
    const wchar_t* name;
    const wchar_t* operands;
} kCommands[] = {
    {Command::Analyze, L"analyze", L"LEFT RIGHT"},
    {Command::Commit, L"commit", L"LEFT RIGHT"},
    {Command::Update, L"update", L"LEFT RIGHT"},
    {Command::Catalog, L"catalog", L"FOLDER FILE"},
    {Command::Verify, L"verify", L"CATALOG FOLDER"},
    {Command::TwoWay, L"sync", L"LEFT RIGHT"},
};

const size_t kSynopsisWidth = 100;
const size_t kHelpIndent = 18;
const size_t kHelpWidth = 80;

const OptionRow* FindOption(const std::wstring& name) {
    for (const OptionRow& row : kOptions) {
        if (name == row.name) return &row;
    }
    return nullptr;
}

// "[--name VALUE]", and "..." after one that may be given many times.
std::wstring SynopsisWord(const OptionRow& row) {
    std::wstring word = std::wstring(row.name);
    if (row.value) word += std::wstring(L" ") + row.value;
    if (row.required) return word;
    return L"[" + word + (row.repeats ? L"]..." : L"]");
}

// The command's line of the synopsis, wrapped under its first option.
std::wstring CommandSynopsis(const wchar_t* lead, Command command, const wchar_t* name, const wchar_t* operands) {
    std::wstring text = std::wstring(lead) + L"quillmar-cli.exe " + name;
    const size_t indent = text.size() + 1;
    size_t lineStart = 0;
    auto add = [&](const std::wstring& word) {
        if (text.size() - lineStart + 1 + word.size() > kSynopsisWidth) {
            text += L"\n";
            lineStart = text.size();
            text += std::wstring(indent - 1, L' ');
        }
        text += L" " + word;
    };
    for (const OptionRow& row : kOptions) {
        if (row.commands & (1u << unsigned(command))) add(SynopsisWord(row));
    }
    add(operands);
    return text + L"\n";
}

std::wstring BuildSynopsis() {
    std::wstring text;
    for (const auto& command : kCommands)
        text += CommandSynopsis(text.empty() ? L"usage: " : L"       ", command.command, command.name,
                                command.operands);
    return text + L"       quillmar-cli.exe --help | -h | /?\n"
                  L"       quillmar-cli.exe --version\n";
}

// "analyze, commit: ", the commands an option goes with, before its help; nothing for every command.
std::wstring CommandsText(unsigned commands) {
    if (commands == kEvery) return std::wstring();
    std::wstring text;
    for (const auto& command : kCommands) {
        if (!(commands & (1u << unsigned(command.command)))) continue;
        if (!text.empty()) text += L", ";
        text += command.name;
    }
    return text + L": ";
}

// "  --name VALUE" and its commands and help beside it, two spaces or more
// after the name, or under it when the name is long; wrapped to the help's width.
std::wstring OptionHelp(const wchar_t* name, const wchar_t* value, unsigned commands, const wchar_t* help) {
    std::wstring text = std::wstring(L"  ") + name;
    if (value) text += std::wstring(L" ") + value;
    text += text.size() + 2 <= kHelpIndent ? std::wstring(kHelpIndent - text.size(), L' ')
                                           : L"\n" + std::wstring(kHelpIndent, L' ');
    size_t lineStart = text.rfind(L'\n') + 1;  // 0 when there is no line break
    const std::wstring words = CommandsText(commands) + help;
    for (size_t at = 0; at < words.size();) {
        const size_t end = std::min(words.find_first_of(L" \n", at), words.size());
        if (end > at) {
            const bool lineHasWords = text.size() - lineStart > kHelpIndent;
            if (lineHasWords && text.size() - lineStart + 1 + (end - at) > kHelpWidth) {
                lineStart = text.size() + 1;
                text += L"\n" + std::wstring(kHelpIndent, L' ');
            } else if (lineHasWords) {
                text += L' ';
            }
            text.append(words, at, end - at);
        }
        at = end + 1;
    }
    return text + L"\n";
}

const wchar_t kHelpIntro[] =
    L"\n"
    L"Compares two folders, LEFT and RIGHT, and brings one into line with the other.\n"
    L"  analyze   lists what differs between LEFT and RIGHT\n"
    L"  commit    makes RIGHT like LEFT: copies New and Modified files to RIGHT, deletes\n"
    L"            from RIGHT the files that LEFT lacks, creates and removes folders\n"
    L"  update    makes LEFT like RIGHT, the other way round\n"
    L"  catalog   saves the listing of FOLDER (with --content, its files' digests too)\n"
    L"            to the file FILE, a catalog, which analyze compares later in the\n"
    L"            folder's place: LEFT, RIGHT or both may be a catalog\n"
    L"  verify    checks FOLDER, a backup say, against the CATALOG made of it: what\n"
    L"            is missing from FOLDER, added to it, damaged or changed since\n"
    L"  sync      brings each side's changes since the last run to the other, for\n"
    L"            two copies that both change: the baseline FILE records both\n"
    L"            folders after each run, and a change made on both sides is a\n"
    L"            conflict, left as it is\n"
    L"Deleted files go to the Recycle Bin, and so do the files that copies replace;\n"
    L"folders are removed only when empty. Links (symbolic links, junctions, mount\n"
    L"points) are never followed: they are UNKNOWN and left alone, or left out with\n"
    L"--skip-links. Each copy is made under a temporary name (~QM, five hexadecimal\n"
    L"digits, .TMP) beside its target and takes the real name only when whole and\n"
    L"checked, so a stopped run never leaves a half-written file under a real name;\n"
    L"a later run removes such temporary files. commit makes RIGHT when it does not\n"
    L"exist but its parent does, and update LEFT.\n"
    L"\n";

const wchar_t kHelpAfterOptions[] =
    L"\n"
    L"Output: UTF-8 on standard output, fields separated by a tab, folders in paths\n"
    L"separated by a backslash (\\).\n"
    L"  analyze         one line for each item that differs, as seen from LEFT:\n"
    L"                    STATE<tab>KIND<tab>PATH\n"
    L"                  STATE: NEW (only in LEFT), MISSING (only in RIGHT), MODIFIED\n"
    L"                  (in both, but different; for a folder: something inside\n"
    L"                  differs) or UNKNOWN (not compared: a file that could not be\n"
    L"                  read, a file against a folder of the same name and, even in\n"
    L"                  LEFT only, a folder that could not be listed, a link or a name\n"
    L"                  that Windows cannot hold);\n"
    L"                  KIND: file or folder; PATH: relative to LEFT and RIGHT.\n"
    L"  analyze --all   one line for each item of each folder, sorted by side and path:\n"
    L"                    SIDE<tab>STATE<tab>KIND<tab>PATH\n"
    L"                  SIDE: 0 (LEFT) or 1 (RIGHT); STATE: Identical, New, Missing,\n"
    L"                  Modified or Unknown, as seen from that side; KIND: F or D.\n"
    L"  analyze --json  one JSON object a line for each item that differs (every item\n"
    L"                  with --all), as seen from LEFT and sorted by path:\n"
    L"                    {\"state\":\"modified\",\"kind\":\"file\",\"path\":\"docs\\\\a.txt\",\n"
    L"                     \"left\":{\"kind\":\"file\",\"size\":120,\n"
    L"                             \"time\":\"2026-12-07T14:18:11.1234567Z\"},\n"
    L"                     \"right\":{\"kind\":\"file\",\"size\":98,\n"
    L"                              \"time\":\"2026-12-06T09:02:45.5000000Z\"},\n"
    L"                     \"reason\":\"size\"}\n"
    L"                  state: new, missing, modified, unknown or identical; kind: file\n"
    L"                  or folder; left and right: null where the item is absent, else\n"
    L"                  that side's kind, size (none for a folder) and time (last\n"
    L"                  write, UTC). reason, for a modified file: size, newer-left or\n"
    L"                  newer-right (by time), or content (with --content);\n"
    L"                  content-same-time with --content against a catalog: the\n"
    L"                  content changed under the same size and time, which on a\n"
    L"                  backup is the sign of damage rather than of an edit.\n"
    L"                  Each listing ends with a summary on standard error: the count\n"
    L"                  of each state among the items seen from LEFT, and the bytes\n"
    L"                  compared, with --content against a catalog the files changed\n"
    L"                  without a new time (\"changed without a new time N\"), then,\n"
    L"                  with --exclude or --exclude-from, the entries\n"
    L"                  left out on both sides (\"excluded N\"; an excluded folder counts\n"
    L"                  as one).\n"
    L"  verify          one line for each difference between CATALOG and FOLDER,\n"
    L"                  sorted by path:\n"
    L"                    DIFFERENCE<tab>KIND<tab>PATH\n"
    L"                  DIFFERENCE: missing (listed, but not in FOLDER), added (in\n"
    L"                  FOLDER, but not listed), damaged (other content under the same\n"
    L"                  size and time), changed (other size or time, or other content\n"
    L"                  with a new time) or unreadable (not compared: an entry that\n"
    L"                  could not be read, a link, a file against a folder); KIND: file\n"
    L"                  or folder; PATH: relative to FOLDER. Files compare by content\n"
    L"                  when the catalog holds digests (made with --content), by size\n"
    L"                  and time otherwise, when damage goes unseen; the exclusions the\n"
    L"                  catalog was made with apply to FOLDER. With --json, one object\n"
    L"                  a line:\n"
    L"                    {\"difference\":\"damaged\",\"kind\":\"file\",\"path\":\"a.txt\",\n"
    L"                     \"catalog\":{\"kind\":\"file\",\"size\":120,\"time\":T},\n"
    L"                     \"folder\":{\"kind\":\"file\",\"size\":120,\"time\":T}}\n"
    L"                  catalog and folder: null where the item is absent. A summary\n"
    L"                  follows on standard error: how the files were compared, the\n"
    L"                  files intact and the count of each difference.\n"
    L"  commit, update  one line for each operation done, in the order done:\n"
    L"                    copy<tab>SOURCE<tab>TARGET   delete<tab>PATH\n"
    L"                    mkdir<tab>PATH               rmdir<tab>PATH\n"
    L"                  with full paths. An operation not done goes to standard error\n"
    L"                  as the same line followed by \": \" and the reason. A summary\n"
    L"                  of what was copied, deleted, created, removed and not done\n"
    L"                  follows on standard error. With --dry-run, the lines are the\n"
    L"                  operations that would run.\n"
    L"  sync            the operations, as commit and update print them, and two of\n"
    L"                  its own:\n"
    L"                    rename<tab>PATH<tab>NEW-PATH\n"
    L"                    set-time<tab>SOURCE<tab>TARGET\n"
    L"                  (a name whose case alone one side changed takes the new\n"
    L"                  spelling on the other side; a file whose time alone one side\n"
    L"                  changed, of the same bytes as the other side's, gives the\n"
    L"                  other side's file its time), then one line for each conflict:\n"
    L"                    CONFLICT<tab>KIND<tab>PATH<tab>REASON\n"
    L"                  KIND: file or folder; PATH: relative to LEFT and RIGHT;\n"
    L"                  REASON: both-changed, changed-deleted (LEFT changed it, RIGHT\n"
    L"                  deleted it), deleted-changed, both-created or kind-changed\n"
    L"                  (a file became a folder, or the reverse). A side's change\n"
    L"                  since the last run goes to the other side; a change on both\n"
    L"                  sides is a conflict, left alone in this and every later run\n"
    L"                  until both sides agree. The first run (no FILE yet, or\n"
    L"                  --new-baseline) copies what one side lacks, counts the pairs\n"
    L"                  that differ as conflicts and deletes nothing. FILE is the\n"
    L"                  catalog format 2 with both sides' entries, written at the end\n"
    L"                  of each run but a dry run; a run is refused when FILE lies in\n"
    L"                  LEFT or RIGHT, is damaged, or was made for another pair of\n"
    L"                  folders or with other exclusions or comparison options.\n"
    L"  catalog         nothing on standard output; FILE holds the catalog, UTF-8 text\n"
    L"                  with a tab between fields, one line each:\n"
    L"                    quillmar-catalog<tab>VERSION<tab>content=DIGESTS\n"
    L"                    exclude<tab>PATTERN          (format 2: one per exclusion)\n"
    L"                    KIND<tab>SIZE<tab>TIME<tab>ATTRIBUTES<tab>SHA256<tab>PATH\n"
    L"                    end<tab>ENTRIES\n"
    L"                  The header names the format, its version and whether digests\n"
    L"                  are there: VERSION is 1, or 2 for a catalog made with\n"
    L"                  exclusions, which records them (analyze applies them to the\n"
    L"                  other side too); DIGESTS is sha256, or none without --content;\n"
    L"                  then one line per entry, each folder's before those\n"
    L"                  of what it holds, which follow it in order of their names;\n"
    L"                  last the number of entries. KIND: file, folder, unknown-file or\n"
    L"                  unknown-folder (the scan could not stand for it); SIZE in bytes;\n"
    L"                  TIME: last write, UTC, as 2026-12-07T14:18:11.1234567Z;\n"
    L"                  ATTRIBUTES: eight hexadecimal digits; SHA256: 64 hexadecimal\n"
    L"                  digits, or - (a folder, an unknown entry, no --content, a file\n"
    L"                  that could not be read); PATH: below FOLDER, a backslash between\n"
    L"                  names. In a name, %XX stands for a control character, % (%25)\n"
    L"                  or \\ (%5C), and %uXXXX for half of a surrogate pair alone.\n"
    L"                  FILE is written under a temporary name and replaced only once\n"
    L"                  whole. Given as LEFT or RIGHT, a catalog is compared as its\n"
    L"                  folder was: sizes and times, or with --content its digests (a\n"
    L"                  folder's files are read and digested); commit and update refuse\n"
    L"                  it. A catalog that is damaged, cut short or of a newer format is\n"
    L"                  refused, naming the line.\n"
    L"When standard error is a console, analyze, commit and update show on it the\n"
    L"folders and files listed so far on each side while the folders are scanned, then\n"
    L"the progress of the content comparison; commit, update and sync show the\n"
    L"progress of their copies: files and bytes copied of all, the rate and the time\n"
    L"left, rewritten once a second.\n"
    L"\n"
    L"Exit status:\n"
    L"  analyze         0 no difference, 1 differences found (or items that could not\n"
    L"                  be read), 2 trouble\n"
    L"  commit, update  0 every operation done, 1 some operations skipped or failed (or\n"
    L"                  items that could not be read), 2 trouble\n"
    L"  sync            0 both sides agree after the run, 1 conflicts, operations not\n"
    L"                  done or items that could not be read, 2 trouble or a refusal\n"
    L"  verify          0 FOLDER holds what CATALOG lists, 1 differences (or items\n"
    L"                  that could not be read), 2 trouble\n"
    L"  catalog         0 every entry written whole, 1 some written as unknown or\n"
    L"                  without their digest (see the log), 2 trouble: FILE as it was\n"
    L"  Trouble: bad usage, a folder that cannot be read, a damaged catalog (or one\n"
    L"  without digests, for --content), a failed analysis, a cancel\n"
    L"  (Ctrl+C: a synchronization drops the copies in flight and reports what was\n"
    L"  not done), a run refused for what it would delete or replace, a versioning\n"
    L"  folder inside LEFT or RIGHT, or a run that ended early with nothing changed\n"
    L"  (no memory, a log that cannot be created).\n"
    L"\n"
    L"Logs: items that could not be read, compared, copied or deleted are written to a\n"
    L"log, which standard error names when it holds entries; a log with no entries is\n"
    L"deleted. With --log, each run replaces the logs in FOLDER; without it, each run\n"
    L"has its own logs in the temporary folder:\n"
    L"  %TEMP%\\quillmar-cli-DATE-TIME-PROCESS-AnalyzeLog.txt\n"
    L"  %TEMP%\\quillmar-cli-DATE-TIME-PROCESS-SynchronizeLog.txt\n";

bool IsHelp(const std::wstring& argument) {
    return argument == L"--help" || argument == L"-h" || argument == L"/?";
}

// Reads one option at `*index`, moving past its value; an empty text when it is set.
std::wstring ParseOption(const std::vector<std::wstring>& arguments, size_t* index, const std::wstring& command,
                         Options* options) {
    const std::wstring& argument = arguments[*index];
    const OptionRow* row = FindOption(argument);
    if (!row) return L"unknown option \"" + argument + L"\"";
    if (!(row->commands & (1u << unsigned(options->command)))) return argument + L" does not go with " + command;
    std::wstring value;
    if (row->value) {
        if (++*index == arguments.size()) return argument + L" " + row->valueProblem;
        value = arguments[*index];
    }
    if (!row->set(options, value)) return argument + L" " + row->valueProblem;
    return std::wstring();
}

}  // namespace

const std::wstring kUsageSynopsis = BuildSynopsis();

std::wstring HelpText() {
    std::wstring text = kUsageSynopsis + kHelpIntro + L"Options:\n";
    for (const OptionRow& row : kOptions) text += OptionHelp(row.name, row.value, row.commands, row.help);
    text += OptionHelp(L"--", nullptr, kEvery, L"the arguments after it are folders, even if they begin with -");
    return text + kHelpAfterOptions;
}

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
    const auto* named = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [&](const auto& one) { return command == one.name; });
    if (named == std::end(kCommands)) return L"unknown command \"" + command + L"\"";
    options->command = named->command;
    bool onlyFolders = false;
    for (size_t index = 1; index < arguments.size(); ++index) {
        const std::wstring& argument = arguments[index];
        // A folder whose name begins with a dash follows "--".
        if (onlyFolders || argument.size() < 2 || argument[0] != L'-') {
            options->folders.push_back(argument);
        } else if (argument == L"--") {
            onlyFolders = true;
        } else {
            std::wstring problem = ParseOption(arguments, &index, command, options);
            if (!problem.empty()) return problem;
        }
    }
    if (options->command == Command::Catalog && options->folders.size() != 2)
        return L"a FOLDER and a FILE are needed; " + std::to_wstring(options->folders.size()) + L" given";
    if (options->command == Command::Verify && options->folders.size() != 2)
        return L"a CATALOG and a FOLDER are needed; " + std::to_wstring(options->folders.size()) + L" given";
    if (options->folders.size() != 2)
        return L"two folders are needed, LEFT and RIGHT; " + std::to_wstring(options->folders.size()) + L" given";
    if (options->command == Command::TwoWay && options->baseline.empty()) return L"sync needs --baseline FILE";
    if (options->backupKeepDays > 0 && options->backupDir.empty()) return L"--backup-keep-days needs --backup-dir";
    if (options->deleteExcluded && options->excludePatterns.empty() && options->excludeFiles.empty())
        return L"--delete-excluded needs --exclude or --exclude-from";
    return std::wstring();
}

}  // namespace cli
