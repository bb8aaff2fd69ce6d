#include "cli/catalog_command.h"

#include "analysis/analyze_log.h"
#include "analysis/skip_log.h"
#include "cli/console.h"
#include "cli/output.h"
#include "model/location_paths.h"
#include "model/scan.h"
#include "model/system_error.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace cli {

namespace {

// Set by Ctrl+C; the scan and the writer test it.
volatile LONG g_catalogCancel = 0;

BOOL WINAPI OnCatalogControl(DWORD) {
    InterlockedExchange(&g_catalogCancel, 1);
    return TRUE;
}

// The folder to catalog, with its trailing backslash; empty, with the reason, when it cannot be read.
std::wstring CatalogedFolder(const std::wstring& argument, std::wstring* problem, bool* argumentProblem) {
    *argumentProblem = true;
    std::wstring path = FolderPath(argument);
    if (path.empty()) {
        *problem = L"FOLDER path is not valid or too long: " + argument;
    } else if (IsRawDevicePath(argument.c_str()) || IsRawDevicePath(path.c_str())) {
        *problem = L"FOLDER path in the \\\\?\\ or \\\\.\\ form is not supported: " + argument;
    } else if (!IsFolder(path)) {
        *problem = (GetFileAttributesW(path.substr(0, path.size() - 1).c_str()) != INVALID_FILE_ATTRIBUTES
                        ? L"FOLDER is not a folder: "
                        : L"FOLDER not found: ") +
                   argument;
    } else if (DWORD error = ListingError(path)) {
        *argumentProblem = false;
        *problem = L"FOLDER cannot be read: " + argument + L": " + SystemMessage(error);
    } else {
        return path;
    }
    return std::wstring();
}

std::wstring Summary(const CatalogWriting& writing, const std::wstring& file, const std::wstring& leftOut,
                     DWORD elapsedMs) {
    wchar_t text[200];
    swprintf(text, 200, L"folders %lu, files %lu, unknown %lu", static_cast<unsigned long>(writing.folders),
             static_cast<unsigned long>(writing.files), static_cast<unsigned long>(writing.unknown));
    std::wstring summary = L"quillmar-cli: catalog written to " + file + L": " + text;
    if (writing.withDigests) {
        swprintf(text, 200, L"; without digest %lu; bytes read %llu", static_cast<unsigned long>(writing.undigested),
                 static_cast<unsigned long long>(writing.bytesRead));
        summary += text;
    }
    return summary + leftOut + L"; elapsed " + std::to_wstring(static_cast<unsigned long>(elapsedMs)) + L" ms\n";
}

// Scans the folder and writes its catalog; returns the exit status.
int WriteFolderCatalog(const Options& options, const RunExclusions& run, const std::wstring& folder,
                       const std::wstring& file, const std::wstring& logPath) {
    const ExclusionList* exclusions = run.List();
    std::vector<const wchar_t*> patterns;
    for (const std::wstring& pattern : run.Patterns()) patterns.push_back(pattern.c_str());
    const DWORD startTick = GetTickCount();
    LocationTree* tree = CreateLocationTree();
    if (!tree) return Trouble(kNoMemoryText);
    volatile LONG excluded = 0;
    volatile LONG links = 0;
    ScanContext context = {nullptr, SkipLogAppendLines, &g_catalogCancel, nullptr, nullptr, exclusions, &excluded,
                           &links};
    DWORD status = ScanLocation(tree, folder.c_str(), &context);
    CatalogWriting writing = {options.compareContent, &g_catalogCancel, SkipLogAppendLines, patterns.data(),
                              patterns.size()};
    if (status == ERROR_SUCCESS && !g_catalogCancel)
        status = WriteCatalog(tree, folder.c_str(), file.c_str(), &writing);
    DestroyLocationTree(tree);
    const DWORD logEntries = SkipLogClose();
    if (logEntries > 0)
        WriteError(L"Some files/folders could not be read: they are in the catalog as unknown, or without their "
                   L"digest. A list of these files was saved to <" + logPath + L">!\n");
    if (g_catalogCancel || status == ERROR_CANCELLED)
        return Trouble(L"Operation canceled by user; " + file + L" was left as it was");
    if (status == ERROR_INTERNAL_ERROR) return Trouble(L"Error log can not be saved <" + logPath + L">");
    if (status != ERROR_SUCCESS)
        return Trouble(L"the catalog could not be made: " + SystemMessage(status) + L"; " + file +
                       L" was left as it was");
    WriteError(Summary(writing, file, LeftOutText(run, excluded, links), GetTickCount() - startTick));
    return writing.unknown > 0 || writing.undigested > 0 || logEntries > 0 ? kExitDiffers : kExitSame;
}

}  // namespace

int RunCatalogCommand(const Options& options, const RunExclusions& exclusions) {
    std::wstring problem;
    bool argumentProblem = false;
    const std::wstring folder = CatalogedFolder(options.folders[0], &problem, &argumentProblem);
    if (folder.empty()) return argumentProblem ? ArgumentTrouble(problem) : Trouble(problem);
    const std::wstring file = OwnFilePath(options.folders[1], L"FILE", L"a catalog", &problem);
    if (file.empty()) return ArgumentTrouble(problem);
    RunLogs logs;
    problem = ChooseLogPaths(options.logFolder, &logs);
    if (!problem.empty()) return Trouble(problem);
    SetConsoleCtrlHandler(OnCatalogControl, TRUE);
    if (!SkipLogOpen(logs.analyze.c_str(), kAnalyzeLogHeader))
        return Trouble(L"Can not create error log file! <" + logs.analyze + L">");
    return WriteFolderCatalog(options, exclusions, folder, file, logs.analyze);
}

std::wstring RefuseCatalogs(Command command, const std::wstring (&arguments)[2], const LocationKind (&kinds)[2]) {
    if (command != Command::Commit && command != Command::Update) return std::wstring();
    for (int side = 0; side < 2; ++side) {
        if (kinds[side] == LocationKind::Catalog)
            return std::wstring(command == Command::Commit ? L"commit" : L"update") +
                   L" changes folders, and " + kSideNames[side] + L" is a catalog: " + arguments[side] +
                   L" (analyze compares with a catalog)";
    }
    return std::wstring();
}

std::wstring CheckVerifiedPair(const std::wstring (&arguments)[2], const LocationKind (&kinds)[2]) {
    if (kinds[0] != LocationKind::Catalog)
        return L"verify checks a folder against its catalog, and CATALOG is a folder: " + arguments[0];
    if (kinds[1] != LocationKind::Folder)
        return L"verify checks a folder against its catalog, and FOLDER is a catalog: " + arguments[1];
    return std::wstring();
}

CatalogSides::~CatalogSides() {
    for (CatalogDigests* digests : m_digests) FreeCatalogDigests(digests);
}

std::wstring CatalogSides::Load(BackgroundOpsData* data, const std::wstring (&paths)[2],
                                const LocationKind (&kinds)[2], RunExclusions* exclusions) {
    for (int side = 0; side < 2; ++side) {
        if (kinds[side] != LocationKind::Catalog) continue;
        const std::wstring name = std::wstring(kSideNames[side]) + L" catalog ";
        LocationSlot* slot = &data->slots[side];
        CatalogReading reading = {exclusions->List(), RunExclusions::Remember, exclusions};
        CatalogProblem problem;
        DWORD status = ReadCatalog(paths[side].c_str(), &reading, slot->tree, &m_digests[side], &problem);
        if (status == ERROR_INVALID_DATA)
            return name + paths[side] + L": line " + std::to_wstring(problem.line) + L": " + problem.text;
        if (status != ERROR_SUCCESS) return name + L"cannot be read: " + paths[side] + L": " + SystemMessage(status);
        if (data->compareContent && !CatalogHoldsDigests(m_digests[side]))
            return name + paths[side] + L" was made without --content: it holds no digests to compare "
                                        L"the files' content with";
        slot->catalog = m_digests[side];
        slot->foldersListed = static_cast<LONG>(reading.folders);
        slot->filesListed = static_cast<LONG>(reading.files);
        slot->entriesExcluded = static_cast<LONG>(reading.excluded);
        slot->linksLeftOut = static_cast<LONG>(reading.linksLeftOut);
        // Logged paths of its entries begin with the catalog's.
        wcsncpy(slot->rootPath, (paths[side] + L"\\").c_str(), kPathUnits - 1);
        const std::wstring remembered = exclusions->TakeRemembered();
        if (!remembered.empty())
            WriteError(L"quillmar-cli: " + name + L"was made with exclusions, which apply to " +
                       kSideNames[1 - side] + L" too: " + remembered + L"\n");
    }
    data->exclusions = exclusions->List();
    return std::wstring();
}

}  // namespace cli
