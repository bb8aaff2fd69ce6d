#include "cli/leftovers.h"

#include "cli/console.h"
#include "cli/output.h"
#include "model/system_error.h"
#include "sync/sync_results.h"
#include "sync/versioning.h"

namespace cli {

std::wstring JournalledRun::Begin(const std::wstring (&roots)[2], const std::wstring& versioningFolder,
                                  bool dryRun) {
    if (dryRun) return std::wstring();
    const wchar_t* const locations[3] = {roots[0].c_str(), roots[1].c_str(),
                                         versioningFolder.empty() ? nullptr : versioningFolder.c_str()};
    wchar_t folder[MAX_PATH];
    const DWORD opened =
        DefaultJournalFolder(folder) ? RunJournalOpen(&m_journal, folder, locations, 3) : ERROR_PATH_NOT_FOUND;
    if (opened != ERROR_SUCCESS)
        return std::wstring(kSyncCannotMakeJournal) + L" " + SystemMessage(opened);
    Versioning versioning;
    if (locations[2]) {
        VersioningInit(&versioning, locations[2]);
        // Its copies to another volume are this run's temporary files.
        versioning.journal = &m_journal;
    }
    RemoveLeftovers(folder, locations, locations[2] ? &versioning : nullptr, &m_removal);
    if (m_removal.left > 0) {
        wchar_t reason[kSystemErrorUnits];
        DescribeSyncResult(m_removal.firstError, reason);
        std::wstring notice = L"quillmar-cli: an earlier run's temporary file could not be moved aside: " +
                              std::wstring(m_removal.firstLeft) + L": " + reason;
        if (m_removal.left > 1) notice += L" (and " + std::to_wstring(m_removal.left - 1) + L" more)";
        WriteError(notice + L"\n");
    }
    return std::wstring();
}

void JournalledRun::AddTo(SyncSummary* summary) const {
    summary->leftoversRemoved += m_removal.removed;
    summary->notDone += m_removal.left;
}

}  // namespace cli
