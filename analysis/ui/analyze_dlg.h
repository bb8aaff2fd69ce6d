#pragma once
// The "Analyze Differences" dialog: shows the two locations it is given, runs
// one analysis on a worker thread with its status lines, progress and time,
// and on success asks its owner to show the analysed trees.
#include <windows.h>

#include "analysis/analysis_progress.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "model/win_guards.h"

#include <string>

// What the dialog asks of the window that opened it while it is open.
class AnalyzeDlgOwner {
public:
    // Both trees of the finished analysis are in the record; show them.
    virtual void ShowAnalysedPair() = 0;

protected:
    ~AnalyzeDlgOwner() = default;
};

// One of the two locations to analyse: its folder path (ending in a
// backslash) and whether it is a folder of the live file system.
struct AnalysisLocation {
    std::wstring path;
    bool live = true;
};

class CAnalyzeDlg : public CDialog {
public:
    explicit CAnalyzeDlg(AnalyzeDlgOwner* owner = nullptr);
    ~CAnalyzeDlg() override;

    AnalysisLocation m_locations[2];  // in: filled by the caller before DoModal

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;

    void OnCancelOrClose();
    void OnStart();
    LRESULT OnAnalysisDone(WPARAM, LPARAM);
    LRESULT OnAnalysisFailed(WPARAM location, LPARAM);
    LRESULT OnAnalysisStatus(WPARAM location, LPARAM);
    LRESULT OnAnalysisProgress(WPARAM location, LPARAM);

    DECLARE_MESSAGE_MAP()

private:
    CStatic m_volumeKind1;
    CStatic m_volumeKind2;
    CStatic m_drive1;
    CStatic m_drive2;
    CStatic m_status1;
    CStatic m_status2;
    CStatic m_percent;
    CStatic m_time;
    CEdit m_path1;
    CEdit m_path2;
    CProgressCtrl m_progress;
    CButton m_simultaneous;
    CButton m_compareContent;
    CButton m_start;
    CButton m_close;

    BOOL m_running;  // started, end not reported yet
    // The two samples the remaining time is estimated from.
    ProgressSample m_refSample;
    ProgressSample m_nextSample;

    void ReturnToIdle();
    void EndRun();
    void ShowError(const wchar_t* text);
    CStatic& StatusLine(WPARAM location) { return location == 0 ? m_status1 : m_status2; }

    // The worker's thread, kept until the dialog closes so that the dialog never
    // goes while the worker can still send to it.
    OwnedHandle m_worker;
    AnalyzeDlgOwner* m_owner;  // not owned; may be null
};
