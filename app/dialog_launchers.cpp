// The modal dialogs that the main window's commands open. Each answers as
// though the user closed it at once until the dialog itself exists.
#include "app/quillmar_dlg.h"

void CQuillmarDlg::RunAnalyzeDialog() {}

void CQuillmarDlg::RunSynchronizeDialog() {}

INT_PTR CQuillmarDlg::RunFiltersDialog() { return IDCANCEL; }

void CQuillmarDlg::RunAboutDialog() {}
