#include "dialogs/filters_dlg.h"

#include "framework/win_app.h"
#include "res/resource.h"

namespace {

// By state (Identical, New, Missing, Modified): files first, then folders.
const int kBoxIds[2][kFilterStates] = {
    {IDC_FILTER_FILE_IDENTICAL, IDC_FILTER_FILE_NEW, IDC_FILTER_FILE_MISSING, IDC_FILTER_FILE_MODIFIED},
    {IDC_FILTER_FOLDER_IDENTICAL, IDC_FILTER_FOLDER_NEW, IDC_FILTER_FOLDER_MISSING, IDC_FILTER_FOLDER_MODIFIED}};
const int kIconIds[2][kFilterStates] = {
    {IDC_FILTER_FILE_IDENTICAL_ICON, IDC_FILTER_FILE_NEW_ICON, IDC_FILTER_FILE_MISSING_ICON,
     IDC_FILTER_FILE_MODIFIED_ICON},
    {IDC_FILTER_FOLDER_IDENTICAL_ICON, IDC_FILTER_FOLDER_NEW_ICON, IDC_FILTER_FOLDER_MISSING_ICON,
     IDC_FILTER_FOLDER_MODIFIED_ICON}};
const int kIcons[2][kFilterStates] = {
    {IDI_IDENTICAL_FILE, IDI_NEW_FILE, IDI_MISSING_FILE, IDI_MODIFIED_FILE},
    {IDI_IDENTICAL_FOLDER, IDI_NEW_FOLDER, IDI_MISSING_FOLDER, IDI_MODIFIED_FOLDER}};

}  // namespace

BEGIN_MESSAGE_MAP(CFiltersDlg, CDialog)
    ON_COMMAND(IDOK, OnOK)
END_MESSAGE_MAP()

CFiltersDlg::CFiltersDlg() : CDialog(IDD_FILTERS) {}

CFiltersDlg::~CFiltersDlg() {
    for (HICON icon : m_icons) {
        if (icon != nullptr) DestroyIcon(icon);
    }
}

void CFiltersDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    for (int state = 0; state < kFilterStates; ++state) {
        DDX_Control(exchange, kBoxIds[0][state], m_fileBoxes[state]);
        DDX_Control(exchange, kIconIds[0][state], m_fileIcons[state]);
        DDX_Control(exchange, kBoxIds[1][state], m_folderBoxes[state]);
        DDX_Control(exchange, kIconIds[1][state], m_folderIcons[state]);
    }
}

BOOL CFiltersDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CStatic* icons[2] = {m_fileIcons, m_folderIcons};
    CButton* boxes[2] = {m_fileBoxes, m_folderBoxes};
    for (int kind = 0; kind < 2; ++kind) {
        for (int state = 0; state < kFilterStates; ++state) {
            HICON& icon = m_icons[kind * kFilterStates + state];
            icon = static_cast<HICON>(LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kIcons[kind][state]),
                                                 IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
            icons[kind][state].SetIcon(icon);
        }
    }
    for (int kind = 0; kind < 2; ++kind) {
        for (int state = 0; state < kFilterStates; ++state) {
            if (m_mask & (1u << (kind * kFilterStates + state))) boxes[kind][state].SetCheck(BST_CHECKED);
        }
    }
    return TRUE;
}

void CFiltersDlg::OnOK() {
    CButton* boxes[2] = {m_fileBoxes, m_folderBoxes};
    StateFilterMask mask = 0;
    for (int kind = 0; kind < 2; ++kind) {
        for (int state = 0; state < kFilterStates; ++state) {
            if (boxes[kind][state].GetCheck() == BST_CHECKED) mask |= static_cast<StateFilterMask>(1u << (kind * kFilterStates + state));
        }
    }
    m_mask = mask;
    CDialog::OnOK();
}
