#pragma once
// The "Analyze Differences" dialog: shows the two locations of the main
// window's panes, runs one analysis on a worker thread with its status lines,
// progress and time, and hands the analysed trees to the panes on success.
#include <windows.h>

#include "analysis/analysis_progress.h"
#include "framework/controls.h"
#include "framework/dialog.h"

class CQuillmarDlg;

class CAnalyzeDlg : public CDialog {
public:
    CAnalyzeDlg();
    ~CAnalyzeDlg() override;

    BOOL m_running;  // started, end not reported yet
    ProgressSample m_refSample;
    ProgressSample m_nextSample;
    CQuillmarDlg* m_mainDlg;  // not owned

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
    void ReturnToIdle();
    void ShowError(const wchar_t* text);
    CStatic& StatusLine(WPARAM location) { return location == 0 ? m_status1 : m_status2; }

    // The worker's thread, kept until the dialog closes so that the dialog never
    // goes while the worker can still send to it.
    HANDLE m_worker = nullptr;
};
