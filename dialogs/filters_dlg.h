#pragma once
// "File And Folder View Filters": one check box per difference state, for files
// and for folders. The caller fills m_mask, runs the dialog and, after IDOK,
// reads the mask the user chose.
#include <windows.h>

#include "framework/controls.h"
#include "framework/dialog.h"

#include "model/records.h"

const int kFilterStates = 4;  // Identical, New, Missing, Modified: the bit of each in a mask's nibble

class CFiltersDlg : public CDialog {
public:
    CFiltersDlg();
    ~CFiltersDlg() override;

    StateFilterMask m_mask = kShowAllStates;  // in: the boxes to check; out after IDOK: the user's choice

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    DECLARE_MESSAGE_MAP()

private:
    CButton m_fileBoxes[kFilterStates];
    CStatic m_fileIcons[kFilterStates];
    CButton m_folderBoxes[kFilterStates];
    CStatic m_folderIcons[kFilterStates];
    HICON m_icons[2 * kFilterStates] = {};  // the statics show them but do not own them
};
