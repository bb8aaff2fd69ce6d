// The view filters dialog over the real main window, and the About box's links.
#include <gtest/gtest.h>
#include <windows.h>

#include "dialogs/about_dlg.h"
#include "tests/dialogs/over_main_window.h"
#include "tests/app/main_window_controls.h"

namespace {

const int kBoxesInBitOrder[] = {IDC_FILTER_FILE_IDENTICAL,   IDC_FILTER_FILE_NEW,       IDC_FILTER_FILE_MISSING,
                                IDC_FILTER_FILE_MODIFIED,    IDC_FILTER_FOLDER_IDENTICAL, IDC_FILTER_FOLDER_NEW,
                                IDC_FILTER_FOLDER_MISSING,   IDC_FILTER_FOLDER_MODIFIED};
const wchar_t kFiltersCaption[] = L"File And Folder View Filters";
const wchar_t kMarker[] = L"marker";

// A root item that only a rebuild of the pane removes.
void MarkPanes(CQuillmarDlg& main) {
    for (int pane = 0; pane < kPaneCount; ++pane) {
        TVINSERTSTRUCTW insert = {};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<wchar_t*>(kMarker);
        TreeOf(main, pane).InsertItem(&insert);
    }
}

bool PaneMarked(const CQuillmarDlg& main, int pane) {
    for (HTREEITEM item = TreeOf(main, pane).GetRootItem(); item; item = TreeOf(main, pane).GetNextSiblingItem(item)) {
        if (TreeOf(main, pane).GetItemText(item) == kMarker) return true;
    }
    return false;
}

unsigned CheckedMask(HWND dialog) {
    unsigned mask = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (IsDlgButtonChecked(dialog, kBoxesInBitOrder[bit]) == BST_CHECKED) mask |= 1u << bit;
    }
    return mask;
}

class FiltersTest : public testing::Test {
protected:
    ModalBoxGuard m_guard{6};  // the main window and the dialog, up to three times
    MessageBoxCapture m_boxes;
    OverMainWindow m_window;
    HWND Dialog() const { return FindWindowW(L"#32770", kFiltersCaption); }
};

TEST_F(FiltersTest, BoxesOpenFromTheMaskWithTheirIconsAtSixteenPixels) {
    const unsigned masks[] = {0xFF, 0x01, 0xA4};
    for (unsigned mask : masks) {
        m_window.Run([&](CQuillmarDlg& main) { main.m_filterMask = static_cast<StateFilterMask>(mask); },
                     ID_VIEW_FILTERS, kFiltersCaption,
                     {[&] {
                         EXPECT_EQ(CheckedMask(Dialog()), mask);
                         ICONINFO info = {};
                         HICON icon = reinterpret_cast<HICON>(
                             SendDlgItemMessageW(Dialog(), IDC_FILTER_FOLDER_MODIFIED_ICON, STM_GETICON, 0, 0));
                         ASSERT_TRUE(icon && GetIconInfo(icon, &info));
                         BITMAP bitmap = {};
                         GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
                         EXPECT_EQ(bitmap.bmWidth, 16);
                         DeleteObject(info.hbmColor);
                         DeleteObject(info.hbmMask);
                         Command(Dialog(), IDCANCEL);
                     }});
    }
}

TEST_F(FiltersTest, OkStoresTheBoxesAndRefreshesBothPanes) {
    m_window.Run(MarkPanes, ID_VIEW_FILTERS, kFiltersCaption,
                 {[&] {
                     for (int id : kBoxesInBitOrder) CheckDlgButton(Dialog(), id, BST_UNCHECKED);
                     Command(Dialog(), IDOK);
                 }},
                 [](CQuillmarDlg& main) {
                     EXPECT_EQ(main.m_filterMask, 0);
                     EXPECT_FALSE(PaneMarked(main, 0));
                     EXPECT_FALSE(PaneMarked(main, 1));
                 });
    m_window.Run([](CQuillmarDlg& main) { main.m_filterMask = 0; }, ID_VIEW_FILTERS, kFiltersCaption,
                 {[&] {
                     CheckDlgButton(Dialog(), IDC_FILTER_FOLDER_NEW, BST_CHECKED);
                     CheckDlgButton(Dialog(), IDC_FILTER_FILE_MISSING, BST_CHECKED);
                     Command(Dialog(), IDOK);
                 }},
                 [](CQuillmarDlg& main) { EXPECT_EQ(main.m_filterMask, 0x24); });
}

TEST_F(FiltersTest, CancelAndTheCloseBoxChangeNothing) {
    const UINT ends[] = {WM_COMMAND, WM_CLOSE};
    for (UINT end : ends) {
        m_window.Run([](CQuillmarDlg& main) { MarkPanes(main); main.m_filterMask = 0x5A; }, ID_VIEW_FILTERS,
                     kFiltersCaption,
                     {[&] {
                         CheckDlgButton(Dialog(), IDC_FILTER_FILE_IDENTICAL, BST_CHECKED);
                         CheckDlgButton(Dialog(), IDC_FILTER_FOLDER_NEW, BST_UNCHECKED);
                         if (end == WM_COMMAND) {
                             Command(Dialog(), IDCANCEL);
                         } else {
                             SendMessageW(Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
                         }
                     }},
                     [](CQuillmarDlg& main) {
                         EXPECT_EQ(main.m_filterMask, 0x5A);
                         EXPECT_TRUE(PaneMarked(main, 0));
                         EXPECT_TRUE(PaneMarked(main, 1));
                     });
    }
}

struct OpenCall {
    HWND owner;
    std::wstring verb;
    std::wstring address;
    bool noParameters;
    INT show;
};
std::vector<OpenCall> g_opens;
HINSTANCE g_openResult;

HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR address, LPCWSTR parameters, LPCWSTR folder, INT show) {
    g_opens.push_back({owner, verb ? verb : L"", address ? address : L"", !parameters && !folder, show});
    return g_openResult;
}

class AboutTest : public testing::Test {
protected:
    void SetUp() override {
        g_opens.clear();
        SetAboutShellExecute(RecordOpen);
    }
    void TearDown() override { SetAboutShellExecute(nullptr); }

    ModalBoxGuard m_guard{1};
    MessageBoxCapture m_boxes;
    CAboutDlg m_dialog;
};

TEST_F(AboutTest, EachLinkOpensItsOwnAddressAndNothingIsShownWhenNoBrowserOpens) {
    g_openResult = reinterpret_cast<HINSTANCE>(SE_ERR_NOASSOC);
    RunModalSteps([&] { return m_dialog.DoModal(); }, [&] { return m_dialog.m_hWnd; },
                  {[&] {
                       EXPECT_NE(FindWindowExW(m_dialog.m_hWnd, nullptr, L"Static", L"Version 1.1.0.73"), nullptr);
                       SendNotify(m_dialog.m_hWnd, IDC_ABOUT_ICONS_LINK, NM_CLICK);
                       SendNotify(m_dialog.m_hWnd, IDC_ABOUT_MAKER_LINK, NM_CLICK);
                   },
                   [&] {
                       EXPECT_TRUE(IsWindowVisible(m_dialog.m_hWnd));
                       EXPECT_TRUE(m_boxes.boxes.empty());
                       for (const OpenCall& call : g_opens) EXPECT_EQ(call.owner, m_dialog.m_hWnd);
                       m_dialog.EndDialog(IDOK);
                   }});
    ASSERT_EQ(g_opens.size(), 2u);
    EXPECT_EQ(g_opens[0].address, L"https://quillmar.example/icons");
    EXPECT_EQ(g_opens[1].address, L"https://quillmar.example/");
    for (const OpenCall& call : g_opens) {
        EXPECT_EQ(call.verb, L"open");
        EXPECT_TRUE(call.noParameters);
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
    }
}

}  // namespace
