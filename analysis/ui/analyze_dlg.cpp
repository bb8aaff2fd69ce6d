#include "analysis/ui/analyze_dlg.h"

#include "analysis/analysis_worker.h"
#include "analysis/analyze_log.h"
#include "analysis/background_ops.h"
#include "analysis/skip_log.h"
#include "framework/win_app.h"
#include "model/system_error.h"
#include "model/text.h"
#include "model/win_guards.h"
#include "res/resource.h"

#include <cwchar>

namespace {

const wchar_t kLogicalVolume[] = L"Logical Volume:";
const wchar_t kInitFailed[] = L"Error initializing background operations data.";
const wchar_t kLogFailed[] = L"Can not create error log file!";
const wchar_t kThreadFailed[] = L"Error starting worker thread.";
const wchar_t kItemsSkipped[] =
    L"Some files/folders could not be accessed and will not be added to the analysis report. A list of these files "
    L"was saved to <AnalyzeLog.txt>!";

// The slot's status text and code, copied under its lock.
DWORD CopyStatus(LocationSlot* slot, wchar_t* text) {
    ScopedLock hold(&slot->lock);
    CopyText(text, kStatusTextUnits, slot->statusText);
    return slot->statusCode;
}

}  // namespace

BEGIN_MESSAGE_MAP(CAnalyzeDlg, CDialog)
    ON_COMMAND(IDCANCEL, OnCancelOrClose)
    ON_COMMAND(IDC_ANALYZE_START, OnStart)
    ON_MESSAGE(WM_ANALYSIS_DONE, OnAnalysisDone)
    ON_MESSAGE(WM_ANALYSIS_FAILED, OnAnalysisFailed)
    ON_MESSAGE(WM_ANALYSIS_STATUS, OnAnalysisStatus)
    ON_MESSAGE(WM_ANALYSIS_PROGRESS, OnAnalysisProgress)
END_MESSAGE_MAP()

CAnalyzeDlg::CAnalyzeDlg(AnalyzeDlgOwner* owner)
    : CDialog(IDD_ANALYZE), m_running(FALSE), m_refSample(), m_nextSample(), m_owner(owner) {}

CAnalyzeDlg::~CAnalyzeDlg() {
    JoinThread(&m_worker);
}

void CAnalyzeDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_ANALYZE_VOLUME_KIND1, m_volumeKind1);
    DDX_Control(exchange, IDC_ANALYZE_VOLUME_KIND2, m_volumeKind2);
    DDX_Control(exchange, IDC_ANALYZE_DRIVE1, m_drive1);
    DDX_Control(exchange, IDC_ANALYZE_DRIVE2, m_drive2);
    DDX_Control(exchange, IDC_ANALYZE_STATUS1, m_status1);
    DDX_Control(exchange, IDC_ANALYZE_STATUS2, m_status2);
    DDX_Control(exchange, IDC_ANALYZE_PERCENT, m_percent);
    DDX_Control(exchange, IDC_ANALYZE_TIME, m_time);
    DDX_Control(exchange, IDC_ANALYZE_PATH1, m_path1);
    DDX_Control(exchange, IDC_ANALYZE_PATH2, m_path2);
    DDX_Control(exchange, IDC_ANALYZE_PROGRESS, m_progress);
    DDX_Control(exchange, IDC_ANALYZE_SIMULTANEOUS, m_simultaneous);
    DDX_Control(exchange, IDC_ANALYZE_COMPARE_CONTENT, m_compareContent);
    DDX_Control(exchange, IDC_ANALYZE_START, m_start);
    DDX_Control(exchange, IDCANCEL, m_close);
}

BOOL CAnalyzeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CStatic* kinds[] = {&m_volumeKind1, &m_volumeKind2};
    CStatic* drives[] = {&m_drive1, &m_drive2};
    CEdit* paths[] = {&m_path1, &m_path2};
    for (int side = 0; side < 2; ++side) {
        const AnalysisLocation& location = m_locations[side];
        kinds[side]->SetWindowText(location.live ? kLogicalVolume : L"");
        drives[side]->SetWindowText(location.live ? location.path.substr(0, 2).c_str() : L"");
        paths[side]->SetWindowText(location.path.c_str());
    }
    m_status1.SetWindowText(L"");
    m_status2.SetWindowText(L"");
    m_time.SetWindowText(L"");
    m_percent.SetWindowText(L"Progress 0 %");
    m_progress.SetRange32(0, 100);
    m_simultaneous.SetCheck(BST_UNCHECKED);
    m_compareContent.SetCheck(BST_UNCHECKED);
    m_refSample = {};
    m_nextSample = {};
    return TRUE;
}

void CAnalyzeDlg::ShowError(const wchar_t* text) { MessageBox(text, L"Error", MB_OK | MB_ICONERROR); }

void CAnalyzeDlg::ReturnToIdle() {
    m_running = FALSE;
    m_start.EnableWindow(TRUE);
    m_simultaneous.EnableWindow(TRUE);
    m_compareContent.EnableWindow(TRUE);
    m_close.SetWindowText(L"Close");
}

// Start stays disabled after a run; Close is all that is left to press.
void CAnalyzeDlg::EndRun() {
    m_running = FALSE;
    m_close.SetWindowText(L"Close");
    GotoDlgCtrl(m_close);
}

void CAnalyzeDlg::OnStart() {
    // One dialog runs one analysis.
    if (m_running || m_worker.IsValid()) return;
    m_running = TRUE;
    // Start holds the focus; Close, now Cancel, stays enabled and takes it first.
    GotoDlgCtrl(m_close);
    m_start.EnableWindow(FALSE);
    m_simultaneous.EnableWindow(FALSE);
    m_compareContent.EnableWindow(FALSE);
    m_close.SetWindowText(L"Cancel");

    // Waits for the scan threads of an earlier run before anything is released.
    if (BackgroundOpsIsValid(&g_backgroundOps)) BackgroundOpsFree(&g_backgroundOps);
    if (!BackgroundOpsInit(&g_backgroundOps)) {
        ShowError(kInitFailed);
        ReturnToIdle();
        return;
    }
    g_backgroundOps.notifyWindow = m_hWnd;
    g_backgroundOps.simultaneous = m_simultaneous.GetCheck() == BST_CHECKED;
    g_backgroundOps.compareContent = m_compareContent.GetCheck() == BST_CHECKED;
    CopyText(g_backgroundOps.slots[0].rootPath, kPathUnits, m_locations[0].path.c_str());
    CopyText(g_backgroundOps.slots[1].rootPath, kPathUnits, m_locations[1].path.c_str());

    if (!OpenAnalyzeLog()) {
        ShowError(kLogFailed);
        ReturnToIdle();
        return;
    }
    m_worker = StartCoreThread(AnalysisWorker, &g_backgroundOps);
    if (!m_worker.IsValid()) {
        SkipLogClose();
        ShowError(kThreadFailed);
        ReturnToIdle();
    }
}

void CAnalyzeDlg::OnCancelOrClose() {
    if (m_running) {
        RequestCancel(&g_backgroundOps);
        return;
    }
    // The worker has reported its end; once its thread is gone nothing can reach this window.
    if (m_worker.IsValid()) WaitForSingleObject(m_worker.Get(), INFINITE);
    EndDialog(IDCANCEL);
}

LRESULT CAnalyzeDlg::OnAnalysisStatus(WPARAM location, LPARAM) {
    wchar_t text[kStatusTextUnits];
    CopyStatus(&g_backgroundOps.slots[location == 0 ? 0 : 1], text);
    StatusLine(location).SetWindowText(text);
    return 0;
}

LRESULT CAnalyzeDlg::OnAnalysisFailed(WPARAM location, LPARAM) {
    wchar_t text[kStatusTextUnits];
    DWORD code = CopyStatus(&g_backgroundOps.slots[location == 0 ? 0 : 1], text);
    StatusLine(location).SetWindowText(text);
    m_progress.SetPos(0);
    if (code != 0) FormatSystemError(code, text);
    ShowError(text);
    EndRun();
    SkipLogClose();
    return 0;
}

LRESULT CAnalyzeDlg::OnAnalysisDone(WPARAM, LPARAM) {
    wchar_t text[kStatusTextUnits];
    CopyStatus(&g_backgroundOps.slots[0], text);
    m_status1.SetWindowText(text);
    m_status2.SetWindowText(text);
    if (m_owner != nullptr) m_owner->ShowAnalysedPair();
    EndRun();
    if (SkipLogClose() == 0) {
        MessageBeep(MB_ICONASTERISK);
    } else {
        MessageBox(kItemsSkipped, L"Warning", MB_OK | MB_ICONWARNING);
    }
    return 0;
}

LRESULT CAnalyzeDlg::OnAnalysisProgress(WPARAM location, LPARAM) {
    const ProgressFigures figures = ReadProgress(&g_backgroundOps.slots[location == 0 ? 0 : 1]);
    const DWORD elapsed = figures.elapsedMs;
    const uint64_t total = figures.totalBytes;
    const uint64_t done = figures.doneBytes;

    wchar_t text[kTimeSpanUnits * 2 + 64];
    wchar_t elapsedText[kTimeSpanUnits];
    FormatTimeSpan(elapsed, elapsedText);
    if (done == total) {
        m_percent.SetWindowText(L"Progress 100 %");
        m_progress.SetPos(100);
        swprintf(text, sizeof text / sizeof text[0], L"Elapsed time: %ls", elapsedText);
        m_time.SetWindowText(text);
        return 0;
    }
    unsigned percent = ProgressPercent(total, done);
    swprintf(text, sizeof text / sizeof text[0], L"Progress %u %%", percent);
    m_percent.SetWindowText(text);
    m_progress.SetPos(static_cast<int>(percent));
    DWORD remaining = 0;
    if (EstimateRemaining(&m_refSample, &m_nextSample, elapsed, total, done, &remaining)) {
        wchar_t remainingText[kTimeSpanUnits];
        FormatTimeSpan(remaining, remainingText);
        swprintf(text, sizeof text / sizeof text[0], L"Elapsed time: %ls (Remaining: %ls)", elapsedText,
                 remainingText);
        m_time.SetWindowText(text);
    }
    return 0;
}
