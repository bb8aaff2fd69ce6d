#pragma once
// "File And Folder View Filters": one check box per difference state, for files
// and for folders, editing the main window's filter mask.
#include <windows.h>

#include "framework/controls.h"
#include "framework/dialog.h"

class CQuillmarDlg;

const int kFilterStates = 4;  // Identical, New, Missing, Modified: the bit of each in a mask's nibble

class CFiltersDlg : public CDialog {
public:
    CFiltersDlg();
    ~CFiltersDlg() override;

    CQuillmarDlg* m_mainDlg;  // not owned
    CButton m_fileBoxes[kFilterStates];
    CStatic m_fileIcons[kFilterStates];
    CButton m_folderBoxes[kFilterStates];
    CStatic m_folderIcons[kFilterStates];

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    DECLARE_MESSAGE_MAP()

private:
    HICON m_icons[2 * kFilterStates] = {};  // the statics show them but do not own them
};
