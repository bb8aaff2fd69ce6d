#include "sync/run_journal.h"

#include "model/file_digest.h"
#include "model/file_times.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/system_error.h"
#include "model/text.h"
#include "model/win_guards.h"
#include "sync/file_checks.h"
#include "sync/shell_questions.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"
#include "sync/temporary_names.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

const char kFirstLine[] = "quillmar run journal 1";
const char kStartedWord[] = "started ";
const char kLocationWord[] = "location ";
const char kTemporaryWord[] = "temporary ";
const wchar_t kJournalPattern[] = L"run-*.journal";
const unsigned kMaxLocations = 3;
// FAT keeps a file's time to two seconds: a file made just after the start may seem older.
const uint64_t kTimeSlackTicks = 20000000;
// A journal this large is no journal of ours.
const DWORD kMaxJournalBytes = 1u << 30;
// A line's head, and a path of MAX_PATH units as UTF-8.
const size_t kLineBytes = 96 + MAX_PATH * 3;

// Appends `head` and the UTF-8 of `path` as one line, by one write; false when it could not.
bool AppendLine(HANDLE file, const char* head, const wchar_t* path) {
    char line[kLineBytes];
    size_t used = strlen(head);
    memcpy(line, head, used);
    size_t written = 0;
    if (path && WideToUtf8(path, wcslen(path), line + used, kLineBytes - used - 1, &written) != ERROR_SUCCESS)
        return false;
    used += written;
    line[used++] = '\n';
    DWORD done = 0;
    return WriteFile(file, line, static_cast<DWORD>(used), &done, nullptr) && done == used;
}

// Makes `folder` (ending in a backslash) and every folder above it that is missing.
DWORD MakeFolders(const wchar_t* folder) {
    const DWORD attributes = GetFileAttributesW(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES) return attributes & FILE_ATTRIBUTE_DIRECTORY ? 0 : ERROR_DIRECTORY;
    wchar_t path[MAX_PATH];
    CopyText(path, MAX_PATH, folder);
    for (wchar_t* at = path + 3; *at; ++at) {
        if (*at != L'\\') continue;
        *at = 0;
        const bool made = SyncCalls().makeFolder(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
        *at = L'\\';
        if (!made) return LastErrorOr(ERROR_PATH_NOT_FOUND);
    }
    return ERROR_SUCCESS;
}

// The line after `word` when the line starts with it, else null.
const char* After(const char* line, const char* word) {
    const size_t units = strlen(word);
    return strncmp(line, word, units) == 0 ? line + units : nullptr;
}

// A path of a journal's line, from UTF-8 into `path` of MAX_PATH units.
bool ReadPath(const char* text, wchar_t* path) {
    size_t written = 0;
    if (Utf8ToWide(text, strlen(text), path, MAX_PATH - 1, &written) != ERROR_SUCCESS) return false;
    path[written] = 0;
    return written > 0;
}

// One temporary file a journal recorded.
struct RecordedTemporary {
    uint64_t size;  // its source's
    uint64_t time;
    wchar_t path[MAX_PATH];
};

bool ReadTemporary(const char* text, RecordedTemporary* entry) {
    char* end = nullptr;
    entry->size = strtoull(text, &end, 10);
    if (end == text || *end != ' ') return false;
    const char* time = end + 1;
    const char* space = strchr(time, ' ');
    return space && ParseIsoTime(time, static_cast<size_t>(space - time), &entry->time) && ReadPath(space + 1, entry->path);
}

enum class Found { Gone, NotOurs, Ours, Unreadable };

// What stands at a recorded temporary path: the run's file only when it has
// exactly the recorded name, is a plain file, is no larger than its source
// and has its source's time or one since the run began.
Found Inspect(const RecordedTemporary& entry, uint64_t started) {
    const wchar_t* name = wcsrchr(entry.path, L'\\');
    if (!name || !IsTemporaryName(name + 1)) return Found::NotOurs;
    WIN32_FIND_DATAW data;
    OwnedFindHandle search(FindFirstFileW(entry.path, &data));
    if (!search.IsValid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Found::Gone : Found::Unreadable;
    }
    if (wcscmp(data.cFileName, name + 1) != 0) return Found::NotOurs;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return Found::NotOurs;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const uint64_t time = FileTimeTicks(data.ftLastWriteTime);
    if (size > entry.size || (time != entry.time && time + kTimeSlackTicks < started)) return Found::NotOurs;
    return Found::Ours;
}

// Sends the file to the Recycle Bin, never deleting it for good: a question
// about that is closed unanswered and the file stays.
DWORD Recycle(const wchar_t* path) {
    wchar_t from[MAX_PATH + 1];
    CopyText(from, MAX_PATH, path);
    from[wcslen(from) + 1] = 0;
    UnansweredQuestions questions(true);
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    operation.fFlags = kSyncDeleteFlags | FOF_NOERRORUI;
    SyncCalls().fileOperation(&operation);
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES ? ERROR_SUCCESS : kSyncNotRecycled;
}

// The run's locations, LEFT, RIGHT and the versioning folder (or null), and where leftovers go.
struct Cleaner {
    const wchar_t* const* locations;
    Versioning* versioning;
    LocationGuard guard;  // LEFT and RIGHT
    LocationGuard versioningGuard;
    LeftoverRemoval* removal;
};

// The location of the run that holds `path`, ignoring case; -1 for none.
int LocationHolding(const Cleaner& cleaner, const wchar_t* path) {
    for (unsigned index = 0; index < kMaxLocations; ++index) {
        const wchar_t* root = cleaner.locations[index];
        if (root && NameMatchesComponent(root, path, wcslen(root)) && path[wcslen(root)]) return static_cast<int>(index);
    }
    return -1;
}

// True when `location` is one of the run's, ignoring case.
bool NamesLocation(const Cleaner& cleaner, const wchar_t* location) {
    for (unsigned index = 0; index < kMaxLocations; ++index) {
        const wchar_t* own = cleaner.locations[index];
        if (own && CompareNamesIgnoringCase(own, location) == 0) return true;
    }
    return false;
}

// Moves one leftover aside, written with the run's own spelling of its
// location so that the location guard knows it. 0 or why not.
DWORD MoveLeftoverAside(Cleaner* cleaner, int location, const wchar_t* recorded) {
    const wchar_t* root = cleaner->locations[location];
    const size_t rootUnits = wcslen(root);
    wchar_t path[MAX_PATH];
    CopyText(path, MAX_PATH, root);
    AppendText(path, MAX_PATH, recorded + rootUnits);
    const bool inVersioning = location == 2;
    const DWORD inside = CheckStaysInside(inVersioning ? &cleaner->versioningGuard : &cleaner->guard, path);
    if (inside != ERROR_SUCCESS) return inside;
    if (inVersioning || !cleaner->versioning) return Recycle(path);
    const DWORD moved = MoveToVersions(cleaner->versioning, path, path + rootUnits, SeenNow(path));
    return moved == ERROR_SUCCESS ? ERROR_SUCCESS : kSyncNotVersioned;
}

// Reads the whole journal through `file` into `text`, terminated; false when it cannot.
bool ReadJournal(HANDLE file, MemBlock<char>* text) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart >= kMaxJournalBytes) return false;
    const DWORD bytes = static_cast<DWORD>(size.QuadPart);
    text->Reset(static_cast<char*>(MemAlloc(size_t(bytes) + 1)));
    DWORD got = 0;
    if (!text->Get() || ReadChunk(file, reinterpret_cast<BYTE*>(text->Get()), bytes, &got) != ERROR_SUCCESS) return false;
    text->Get()[got] = 0;
    return true;
}

// Goes through one journal's lines: with a cleaner, moves aside the leftovers
// in its locations when the journal names one of them; without, only looks.
// True when none of the files it recorded is left, so the journal can go.
bool WorkThrough(char* text, Cleaner* cleaner) {
    uint64_t started = 0;
    bool relevant = !cleaner;
    bool anyLeft = false;
    if (!After(text, kFirstLine)) return false;
    for (char* line = text; *line;) {
        char* end = strchr(line, '\n');
        // A line without its end is one a stopped run was writing: its file was not begun.
        if (!end) break;
        *end = 0;
        const char* rest = nullptr;
        RecordedTemporary entry;
        if ((rest = After(line, kStartedWord))) {
            if (!ParseIsoTime(rest, strlen(rest), &started)) return false;
        } else if ((rest = After(line, kLocationWord)) && cleaner && !relevant) {
            wchar_t location[MAX_PATH];
            relevant = ReadPath(rest, location) && NamesLocation(*cleaner, location);
        } else if ((rest = After(line, kTemporaryWord))) {
            if (!relevant) return false;
            if (!ReadTemporary(rest, &entry)) return false;
            const Found found = Inspect(entry, started);
            if (found == Found::Unreadable) anyLeft = true;
            if (found != Found::Ours) {
                line = end + 1;
                continue;
            }
            const int location = cleaner ? LocationHolding(*cleaner, entry.path) : -1;
            const DWORD moved = location >= 0 ? MoveLeftoverAside(cleaner, location, entry.path) : ERROR_FILE_EXISTS;
            if (moved == ERROR_SUCCESS) {
                ++cleaner->removal->removed;
            } else {
                anyLeft = true;
                // A file in a folder of no location of this run waits for a run of its own.
                if (location >= 0 && cleaner->removal->left++ == 0) {
                    cleaner->removal->firstError = moved;
                    CopyText(cleaner->removal->firstLeft, MAX_PATH, entry.path);
                }
            }
        }
        line = end + 1;
    }
    return relevant && !anyLeft;
}

// Deletes the journal through the seam once `file`, its handle, is closed.
void DeleteJournal(OwnedHandle* file, const wchar_t* path) {
    file->Close();
    SyncCalls().deleteFile(path);
}

}  // namespace

bool DefaultJournalFolder(wchar_t* folder) {
    wchar_t data[MAX_PATH];
    // The variable first: asking the shell loads it, which costs a small run more than its work.
    const DWORD units = GetEnvironmentVariableW(L"LOCALAPPDATA", data, MAX_PATH);
    if ((units == 0 || units >= MAX_PATH) &&
        FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data)))
        return false;
    const int length = swprintf(folder, MAX_PATH, L"%ls\\Quillmar\\journals\\", data);
    return length > 0 && length < MAX_PATH - 40;
}

DWORD RunJournalOpen(RunJournal* journal, const wchar_t* folder, const wchar_t* const* locations, unsigned count) {
    journal->file = nullptr;
    journal->recorded = 0;
    DWORD result = MakeFolders(folder);
    if (result != ERROR_SUCCESS) return result;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (swprintf(journal->path, MAX_PATH, L"%lsrun-%08lX-%016llX.journal", folder,
                 static_cast<unsigned long>(GetCurrentProcessId()),
                 static_cast<unsigned long long>(FileTimeTicks(now))) < 0)
        return ERROR_FILENAME_EXCED_RANGE;
    // Not shared for deletion: while the run holds it, no other run takes it for a stopped one's.
    HANDLE file = SyncCalls().createFile(journal->path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_OPEN_FAILED);
    char started[sizeof kStartedWord + kIsoTimeBytes];
    strcpy(started, kStartedWord);
    started[strlen(kStartedWord) + FormatIsoTime(FileTimeTicks(now), started + strlen(kStartedWord))] = 0;
    bool written = AppendLine(file, kFirstLine, nullptr) && AppendLine(file, started, nullptr);
    for (unsigned index = 0; written && index < count; ++index) {
        if (locations[index]) written = AppendLine(file, kLocationWord, locations[index]);
    }
    if (!written) {
        result = LastErrorOr(ERROR_WRITE_FAULT);
        CloseHandle(file);
        SyncCalls().deleteFile(journal->path);
        return result;
    }
    InitializeCriticalSection(&journal->lock);
    journal->file = file;
    return ERROR_SUCCESS;
}

DWORD RecordTemporary(RunJournal* journal, const wchar_t* path, const SyncSeenFile& source) {
    if (!journal) return ERROR_SUCCESS;
    if (!journal->file) return kSyncNotJournaled;
    char head[sizeof kTemporaryWord + 24 + kIsoTimeBytes];
    int used = snprintf(head, sizeof head, "%s%llu ", kTemporaryWord, static_cast<unsigned long long>(source.size));
    used += static_cast<int>(FormatIsoTime(FileTimeTicks(source.lastWriteTime), head + used));
    head[used++] = ' ';
    head[used] = 0;
    {
        ScopedLock lock(&journal->lock);
        if (!AppendLine(journal->file, head, path)) return kSyncNotJournaled;
    }
    InterlockedIncrement(&journal->recorded);
    return ERROR_SUCCESS;
}

DWORD ReserveTemporaryFile(const wchar_t* target, wchar_t* path, wchar_t* name, RunJournal* journal,
                           const SyncSeenFile& source) {
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        if (!NextTemporaryPath(target, path, name)) return ERROR_FILENAME_EXCED_RANGE;
        const DWORD recorded = RecordTemporary(journal, path, source);
        if (recorded != ERROR_SUCCESS) return recorded;
        HANDLE file =
            SyncCalls().createFile(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return ERROR_SUCCESS;
        }
        const DWORD error = LastErrorOr(ERROR_OPEN_FAILED);
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return error;
    }
    return ERROR_FILE_EXISTS;
}

void RunJournalClose(RunJournal* journal, bool clean) {
    if (!journal->file) return;
    OwnedHandle file(journal->file);
    journal->file = nullptr;
    DeleteCriticalSection(&journal->lock);
    if (clean || journal->recorded == 0) {
        DeleteJournal(&file, journal->path);
        return;
    }
    MemBlock<char> text;
    file = OwnedHandle(CreateFileW(journal->path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.IsValid() && ReadJournal(file.Get(), &text) && WorkThrough(text.Get(), nullptr))
        DeleteJournal(&file, journal->path);
}

void RemoveLeftovers(const wchar_t* folder, const wchar_t* const* locations, Versioning* versioning,
                     LeftoverRemoval* removal) {
    *removal = LeftoverRemoval{};
    Cleaner cleaner = {locations, versioning, {}, {}, removal};
    LocationGuardInit(&cleaner.guard, locations[0], locations[1]);
    cleaner.versioningGuard.roots[0] = locations[2];
    wchar_t pattern[MAX_PATH];
    if (swprintf(pattern, MAX_PATH, L"%ls%ls", folder, kJournalPattern) < 0) return;
    WIN32_FIND_DATAW data;
    OwnedFindHandle search(FindFirstFileW(pattern, &data));
    for (bool more = search.IsValid(); more; more = FindNextFileW(search.Get(), &data) != FALSE) {
        wchar_t path[MAX_PATH];
        if (swprintf(path, MAX_PATH, L"%ls%ls", folder, data.cFileName) < 0) continue;
        // A live run holds its journal without sharing it for deletion: it cannot be opened so.
        OwnedHandle file(CreateFileW(path, GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file.IsValid()) continue;
        MemBlock<char> text;
        if (ReadJournal(file.Get(), &text) && WorkThrough(text.Get(), &cleaner)) DeleteJournal(&file, path);
    }
}
