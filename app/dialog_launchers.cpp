// The modal dialogs that the main window's commands open.
#include "analysis/analyze_dlg.h"
#include "app/quillmar_dlg.h"
#include "dialogs/about_dlg.h"
#include "dialogs/filters_dlg.h"
#include "sync/synchronize_dlg.h"

void CQuillmarDlg::RunAnalyzeDialog() {
    CAnalyzeDlg dialog;
    dialog.DoModal();
}

void CQuillmarDlg::RunSynchronizeDialog() {
    CSynchronizeDlg dialog;
    dialog.DoModal();
}

INT_PTR CQuillmarDlg::RunFiltersDialog() {
    CFiltersDlg dialog;
    return dialog.DoModal();
}

void CQuillmarDlg::RunAboutDialog() {
    CAboutDlg dialog;
    dialog.DoModal();
}
