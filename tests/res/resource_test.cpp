// The resources as the program gets them from the system: each dialog template
// is created for real and its controls read back; the menu, accelerator and
// tooltip strings are loaded; every icon is looked up at the sizes it is used.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

HINSTANCE Module() { return GetModuleHandleW(nullptr); }

class CommonControls : public testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
    }
};
[[maybe_unused]] const auto* const kCommonControls = testing::AddGlobalTestEnvironment(new CommonControls);

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A dialog made from a template and never shown; destroyed with the object.
class TemplateDialog {
public:
    explicit TemplateDialog(int templateId)
        : m_window(CreateDialogParamW(Module(), MAKEINTRESOURCEW(templateId), nullptr, InertDialogProc, 0)) {}
    ~TemplateDialog() {
        if (m_window) DestroyWindow(m_window);
    }
    TemplateDialog(const TemplateDialog&) = delete;
    TemplateDialog& operator=(const TemplateDialog&) = delete;
    HWND get() const { return m_window; }

private:
    HWND m_window;
};

std::wstring WindowText(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[128] = L"";
    GetClassNameW(window, name, 128);
    return name;
}

const DWORD kAnyType = 0;
const DWORD kCheckPosition = 1;

// One control of a template as the user sees it. typeMask/type compare the
// control's kind (button or static type); required lists style bits that must be set.
struct Expected {
    int id;
    const wchar_t* className;
    const wchar_t* text;  // nullptr: not compared
    RECT place;           // dialog units: left, top, width, height
    DWORD typeMask;
    DWORD type;
    DWORD required;
    bool border;
    bool visible;
};

// Position and size are converted to pixels each on its own, as the dialog
// manager does when it creates the controls.
RECT Units(HWND dialog, RECT place) {
    RECT r = place;
    MapDialogRect(dialog, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

RECT PlaceInClient(HWND dialog, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<HWND> Children(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// Compares the dialog's controls, in template order, with the expected list.
void ExpectControls(HWND dialog, const std::vector<Expected>& expected, bool comparePlaces) {
    std::vector<HWND> children = Children(dialog);
    ASSERT_EQ(children.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Expected& e = expected[i];
        HWND control = children[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " (id " << e.id << ")");
        EXPECT_EQ(GetDlgCtrlID(control), e.id);
        EXPECT_EQ(_wcsicmp(ClassName(control).c_str(), e.className), 0) << "class " << ClassName(control);
        DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
        DWORD exStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE));
        EXPECT_EQ(style & e.typeMask, e.type);
        EXPECT_EQ(style & e.required, e.required) << std::hex << style;
        EXPECT_EQ((style & WS_BORDER) != 0 || (exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0, e.border);
        EXPECT_EQ((style & WS_VISIBLE) != 0, e.visible);
        if (e.text) {
            EXPECT_EQ(WindowText(control), e.text);
        }
        if (comparePlaces) {
            RECT want = Units(dialog, e.place);
            RECT got = PlaceInClient(dialog, control);
            EXPECT_EQ(got.left, want.left);
            EXPECT_EQ(got.top, want.top);
            // A static icon takes the size of its icon; every other control keeps its own.
            if ((style & SS_TYPEMASK) != SS_ICON || e.className != std::wstring(L"Static")) {
                EXPECT_EQ(got.right, want.right);
                EXPECT_EQ(got.bottom, want.bottom);
            }
        }
    }
}

void ExpectFrame(HWND dialog, const wchar_t* caption, int width, int height, DWORD required, DWORD absent) {
    ASSERT_TRUE(dialog);
    EXPECT_EQ(WindowText(dialog), caption);
    DWORD style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
    EXPECT_EQ(style & required, required) << std::hex << style;
    EXPECT_EQ(style & absent, 0u) << std::hex << style;
    RECT client;
    GetClientRect(dialog, &client);
    RECT want = Units(dialog, {0, 0, width, height});
    EXPECT_EQ(client.right, want.right);
    EXPECT_EQ(client.bottom, want.bottom);
    // Every dialog of the program asks for Verdana at 8 points.
    LOGFONTW font = {};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font));
    EXPECT_STREQ(font.lfFaceName, L"Verdana");
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
}

const DWORD kButton = BS_TYPEMASK;
const DWORD kStatic = SS_TYPEMASK;
const DWORD kModal = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER;

Expected Push(int id, const wchar_t* text, RECT place, bool isDefault) {
    return {id, L"Button", text, place, kButton, DWORD(isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), WS_TABSTOP,
            false, true};
}
Expected Check(int id, const wchar_t* text, RECT place, DWORD kind = BS_AUTOCHECKBOX) {
    return {id, L"Button", text, place, kButton, kind, WS_TABSTOP, false, true};
}
Expected Text(int id, const wchar_t* text, RECT place) {
    return {id, L"Static", text, place, kStatic, SS_LEFT, 0, false, true};
}
Expected IconStatic(int id, RECT place) { return {id, L"Static", nullptr, place, kStatic, SS_ICON, 0, false, true}; }
Expected PathBox(int id, RECT place) {
    return {id, L"Edit", L"", place, kAnyType, 0, ES_READONLY | ES_AUTOHSCROLL, true, true};
}

HICON StaticIcon(HWND control) { return reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0)); }

TEST(MainWindowTemplate, HasThePanesControlsWithTheirStyles) {
    TemplateDialog dialog(IDD_QUILLMAR_DIALOG);
    ExpectFrame(dialog.get(), L"Quillmar", 445, 309,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_CENTER,
                DS_MODALFRAME);
    EXPECT_TRUE(GetWindowLongW(dialog.get(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    // WS_HSCROLL is not compared: a tree shows and hides its own scroll bars.
    const DWORD tree = TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS | WS_TABSTOP;
    const DWORD list = LVS_REPORT | LVS_ALIGNLEFT | WS_TABSTOP;
    // The layout places these controls, so only their order, kinds and styles count.
    ExpectControls(dialog.get(),
                   {PathBox(IDC_PATH1, {}),
                    {IDC_TREE1, WC_TREEVIEWW, nullptr, {}, kAnyType, 0, tree, true, true},
                    {IDC_LIST1, WC_LISTVIEWW, nullptr, {}, LVS_TYPEMASK, LVS_REPORT, list, true, true},
                    PathBox(IDC_PATH2, {}),
                    {IDC_TREE2, WC_TREEVIEWW, nullptr, {}, kAnyType, 0, tree, true, false},
                    {IDC_LIST2, WC_LISTVIEWW, nullptr, {}, LVS_TYPEMASK, LVS_REPORT, list, true, false},
                    {IDC_TAB, WC_TABCONTROLW, nullptr, {}, kAnyType, 0, TCS_FIXEDWIDTH | TCS_FORCELABELLEFT,
                     false, true}},
                   false);
}

// The template as stored in the program, read without the dialog manager,
// which adds and drops style bits of its own when it creates the windows.
struct StoredItem {
    DWORD style;
    int id;
    std::wstring className;  // "#128" style ordinals are written as the class name
};
struct StoredTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int menu = 0;
    WORD pointSize = 0;
    std::wstring typeface;
    std::vector<StoredItem> items;
};

const WORD* SkipText(const WORD* at, std::wstring* text) {
    if (*at == 0xFFFF) {
        if (text) *text = L"#" + std::to_wstring(at[1]);
        return at + 2;
    }
    const WORD* start = at;
    while (*at) ++at;
    if (text) text->assign(reinterpret_cast<const wchar_t*>(start), at - start);
    return at + 1;
}

StoredTemplate ReadTemplate(int templateId) {
    StoredTemplate result;
    HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!found) return result;
    const auto* words = static_cast<const WORD*>(LockResource(LoadResource(Module(), found)));
    if (words[0] != 1 || words[1] != 0xFFFF) return result;  // not an extended template
    auto dword = [](const WORD* at) { return static_cast<DWORD>(at[0] | (at[1] << 16)); };
    result.exStyle = dword(words + 4);
    result.style = dword(words + 6);
    const int count = words[8];
    const WORD* at = words + 13;
    std::wstring menu;
    at = SkipText(at, &menu);
    if (menu.size() > 1 && menu[0] == L'#') result.menu = std::stoi(menu.substr(1));
    at = SkipText(at, nullptr);  // window class
    at = SkipText(at, nullptr);  // caption
    if (result.style & DS_SETFONT) {
        result.pointSize = at[0];
        at = SkipText(at + 3, &result.typeface);
    }
    for (int i = 0; i < count; ++i) {
        at = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(at) + 3) & ~UINT_PTR(3));
        StoredItem item;
        item.style = dword(at + 4);
        item.id = static_cast<int>(dword(at + 10));
        at = SkipText(at + 12, &item.className);
        at = SkipText(at, nullptr);
        at = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(at + 1) + at[0]);
        result.items.push_back(item);
    }
    return result;
}

TEST(StoredTemplates, HaveExactlyTheirWindowStylesAndTheirFont) {
    const DWORD modal = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION;
    const struct {
        int id;
        DWORD style;
        DWORD exStyle;
        int menu;
    } dialogs[] = {
        {IDD_QUILLMAR_DIALOG,
         DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
         WS_EX_APPWINDOW, IDR_MAINMENU},
        {IDD_ABOUTBOX, modal | WS_SYSMENU, 0, 0},
        {IDD_ANALYZE, modal, 0, 0},
        {IDD_FILTERS, modal | WS_SYSMENU, 0, 0},
        {IDD_SYNCHRONIZE, modal, 0, 0},
    };
    for (const auto& want : dialogs) {
        SCOPED_TRACE(testing::Message() << "template " << want.id);
        StoredTemplate stored = ReadTemplate(want.id);
        EXPECT_EQ(stored.style, want.style) << std::hex << stored.style;
        EXPECT_EQ(stored.exStyle, want.exStyle);
        EXPECT_EQ(stored.menu, want.menu);
        EXPECT_EQ(stored.pointSize, 8);
        EXPECT_EQ(stored.typeface, L"Verdana");
    }
}

TEST(StoredTemplates, MainWindowPaneControlsHaveExactlyTheirStyles) {
    StoredTemplate stored = ReadTemplate(IDD_QUILLMAR_DIALOG);
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD tree = WS_CHILD | TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS | WS_BORDER | WS_HSCROLL | WS_TABSTOP;
    const DWORD list = WS_CHILD | LVS_REPORT | LVS_ALIGNLEFT | WS_BORDER | WS_TABSTOP;
    const DWORD path = child | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP;
    const std::vector<StoredItem> want = {
        {path, IDC_PATH1, L"#129"},
        {tree | WS_VISIBLE, IDC_TREE1, WC_TREEVIEWW},
        {list | WS_VISIBLE, IDC_LIST1, WC_LISTVIEWW},
        {path, IDC_PATH2, L"#129"},
        {tree, IDC_TREE2, WC_TREEVIEWW},
        {list, IDC_LIST2, WC_LISTVIEWW},
        {child | TCS_FIXEDWIDTH | TCS_FORCELABELLEFT | WS_CLIPSIBLINGS, IDC_TAB, WC_TABCONTROLW},
    };
    ASSERT_EQ(stored.items.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "control " << i);
        EXPECT_EQ(stored.items[i].id, want[i].id);
        EXPECT_EQ(stored.items[i].style, want[i].style) << std::hex << stored.items[i].style;
        // The resource compiler may store class names in capitals; the system matches them either way.
        EXPECT_EQ(_wcsicmp(stored.items[i].className.c_str(), want[i].className.c_str()), 0)
            << testing::PrintToString(stored.items[i].className);
    }
}

struct MenuRow {
    UINT id;
    std::wstring text;
    UINT state;  // MFS_ flags that must be set; any others must be clear
};

std::vector<MenuRow> MenuRows(HMENU menu) {
    std::vector<MenuRow> rows;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = L"";
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = 128;
        GetMenuItemInfoW(menu, i, TRUE, &info);
        rows.push_back({info.hSubMenu ? 0u : info.wID, (info.fType & MFT_SEPARATOR) ? L"-" : text, info.fState});
    }
    return rows;
}

TEST(MainMenu, HasEveryCommandWithItsTextAndState) {
    HMENU menu = LoadMenuW(Module(), MAKEINTRESOURCEW(IDR_MAINMENU));
    ASSERT_TRUE(menu);
    struct Popup {
        const wchar_t* title;
        std::vector<MenuRow> items;
    };
    const std::vector<Popup> expected = {
        {L"&File",
         {{ID_FILE_NEWCATALOG, L"&New File Catalog", MF_GRAYED},
          {ID_FILE_OPENCATALOG, L"&Open File Catalog", MF_GRAYED},
          {ID_FILE_OPENLOGICALVOLUMES, L"Open &Logical Volumes", 0},
          {0, L"-", 0},
          {ID_FILE_EXIT, L"E&xit", 0}}},
        {L"&View",
         {{ID_VIEW_FILTERS, L"&Filters", 0},
          {0, L"-", 0},
          {ID_VIEW_SINGLEVIEW, L"&Single View", 0},
          {ID_VIEW_DOUBLEVIEW, L"&Double View", MFS_CHECKED},
          {0, L"-", 0},
          {ID_VIEW_REFRESH, L"&Refresh\tF5", 0}}},
        {L"&Catalog",
         {{ID_CATALOG_ADD, L"&Add To Catalog", MF_GRAYED}, {ID_CATALOG_REMOVE, L"&Remove From Catalog", MF_GRAYED}}},
        {L"&Synchronizer",
         {{ID_SYNCHRONIZER_ANALYZE, L"&Analyze Differences", 0},
          {ID_SYNCHRONIZER_SYNCHRONIZE, L"&Synchronize", 0}}},
        {L"&Help", {{ID_HELP_HELP, L"&Help", 0}, {0, L"-", 0}, {ID_HELP_ABOUT, L"&About", 0}}},
    };
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(expected.size()));
    for (size_t p = 0; p < expected.size(); ++p) {
        wchar_t title[64] = L"";
        GetMenuStringW(menu, static_cast<UINT>(p), title, 64, MF_BYPOSITION);
        EXPECT_STREQ(title, expected[p].title);
        HMENU popup = GetSubMenu(menu, static_cast<int>(p));
        ASSERT_TRUE(popup);
        std::vector<MenuRow> rows = MenuRows(popup);
        ASSERT_EQ(rows.size(), expected[p].items.size()) << "popup " << p;
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "popup " << p << " item " << i);
            const MenuRow& want = expected[p].items[i];
            if (want.id) {
                EXPECT_EQ(rows[i].id, want.id);
            }
            EXPECT_EQ(rows[i].text, want.text);
            if (want.text != L"-") {
                EXPECT_EQ(rows[i].state & (MF_GRAYED | MFS_CHECKED), want.state);
            }
        }
    }
    DestroyMenu(menu);
}

TEST(Accelerators, F5IsRefreshAndNothingElse) {
    HACCEL table = LoadAcceleratorsW(Module(), MAKEINTRESOURCEW(IDR_ACCELERATOR));
    ASSERT_TRUE(table);
    ACCEL entries[4] = {};
    ASSERT_EQ(CopyAcceleratorTableW(table, entries, 4), 1);
    EXPECT_EQ(entries[0].key, VK_F5);
    EXPECT_EQ(entries[0].cmd, ID_VIEW_REFRESH);
    EXPECT_EQ(entries[0].fVirt & (FVIRTKEY | FNOINVERT | FSHIFT | FCONTROL | FALT), FVIRTKEY | FNOINVERT);
    DestroyAcceleratorTable(table);
}

TEST(TooltipStrings, EveryToolbarCommandHasItsTextAndOthersHaveNone) {
    const struct {
        UINT id;
        const wchar_t* text;
    } tips[] = {{ID_HELP_HELP, L"Help"},
                {ID_FILE_OPENLOGICALVOLUMES, L"Open Logical Volumes"},
                {ID_SYNCHRONIZER_ANALYZE, L"Analyze Differences"},
                {ID_SYNCHRONIZER_SYNCHRONIZE, L"Synchronize"},
                {ID_VIEW_FILTERS, L"View Filters"},
                {ID_VIEW_SINGLEVIEW, L"Switch To Single View"},
                {ID_VIEW_DOUBLEVIEW, L"Switch To Double View"}};
    for (const auto& tip : tips) {
        wchar_t text[64] = L"";
        EXPECT_GT(LoadStringW(Module(), tip.id, text, 64), 0) << tip.id;
        EXPECT_STREQ(text, tip.text);
    }
    for (UINT id : {UINT(ID_FILE_EXIT), UINT(ID_VIEW_REFRESH), UINT(ID_HELP_ABOUT), UINT(ID_FILE_NEWCATALOG)}) {
        wchar_t text[64] = L"unchanged";
        EXPECT_EQ(LoadStringW(Module(), id, text, 64), 0) << id;
    }
}

TEST(AnalyzeTemplate, HasItsControlsInPlace) {
    TemplateDialog dialog(IDD_ANALYZE);
    ExpectFrame(dialog.get(), L"Analyze Differences", 315, 243, kModal, WS_SYSMENU | WS_THICKFRAME);
    const wchar_t* const parsing = L"Parsing files and folders...";
    ExpectControls(dialog.get(),
                   {Push(IDC_ANALYZE_START, L"Start", {201, 222, 50, 14}, true),
                    Push(IDCANCEL, L"Close", {258, 222, 50, 14}, false),
                    Text(IDC_ANALYZE_HEADING, L"Analyze differences between these two locations", {7, 27, 159, 8}),
                    Text(IDC_ANALYZE_VOLUME_KIND1, L"Logical Volume:", {7, 50, 53, 8}),
                    Text(IDC_ANALYZE_DRIVE1, L"D:\\", {65, 50, 15, 8}),
                    Text(IDC_ANALYZE_VOLUME_KIND2, L"Catalog Volume:", {7, 97, 56, 8}),
                    Text(IDC_ANALYZE_DRIVE2, L"Photos 05 (CD)", {65, 97, 51, 8}),
                    PathBox(IDC_ANALYZE_PATH1, {7, 60, 301, 12}),
                    PathBox(IDC_ANALYZE_PATH2, {7, 107, 301, 12}),
                    {IDC_ANALYZE_PROGRESS, PROGRESS_CLASSW, nullptr, {7, 155, 301, 11}, kAnyType, 0, PBS_SMOOTH,
                     false, true},
                    Text(IDC_ANALYZE_PERCENT, L"Progress: 18 %", {7, 144, 59, 8}),
                    Text(IDC_ANALYZE_TIME, L"Time Remaining: 23 minutes", {65, 144, 243, 8}),
                    Text(IDC_ANALYZE_STATUS1, parsing, {7, 74, 283, 8}),
                    Text(IDC_ANALYZE_STATUS2, parsing, {7, 121, 283, 8}),
                    Check(IDC_ANALYZE_SIMULTANEOUS, L"Process both locations simultaneously", {7, 194, 145, 8}),
                    Check(IDC_ANALYZE_COMPARE_CONTENT, L"Read files content and perform bit to bit comparison",
                          {7, 181, 220, 8}),
                    IconStatic(IDC_STATIC, {275, 7, 18, 20})},
                   true);
    EXPECT_TRUE(StaticIcon(Children(dialog.get()).back()));
}

TEST(SynchronizeTemplate, HasItsControlsInPlace) {
    TemplateDialog dialog(IDD_SYNCHRONIZE);
    ExpectFrame(dialog.get(), L"Synchronize Folders", 315, 302, kModal, WS_SYSMENU | WS_THICKFRAME);
    ExpectControls(
        dialog.get(),
        {Push(IDC_SYNC_START, L"Start", {201, 281, 50, 14}, false),
         Push(IDCANCEL, L"Close", {258, 281, 50, 14}, true),
         Text(IDC_STATIC, L"Synchronize current location", {7, 27, 102, 8}),
         Text(IDC_SYNC_VOLUME_KIND, L"Logical Volume:", {7, 50, 62, 8}),
         Text(IDC_SYNC_DRIVE, nullptr, {65, 50, 17, 8}),
         PathBox(IDC_SYNC_PATH, {7, 60, 301, 12}),
         Check(IDC_SYNC_COMMIT, L"Commit", {7, 82, 45, 8}, BS_AUTORADIOBUTTON),
         Check(IDC_SYNC_UPDATE, L"Update", {7, 105, 45, 8}, BS_AUTORADIOBUTTON),
         Text(IDC_STATIC,
              L"New/modified files will be copied/overwritten to the other location. Missing files will be deleted "
              L"from the other location.",
              {52, 82, 256, 18}),
         Text(IDC_STATIC,
              L"Missing/modified files will be restored from the other location. New files will be deleted from the "
              L"current location.",
              {52, 105, 256, 18}),
         Text(IDC_SYNC_PLEASE_WAIT, L"Please Wait...", {134, 185, 46, 8}),
         {IDC_SYNC_ITEM_LIST, WC_LISTVIEWW, nullptr, {7, 131, 301, 141}, LVS_TYPEMASK, LVS_REPORT,
          LVS_SORTASCENDING, true, true},
         Check(IDC_SYNC_SHOW_NEW, L"New", {7, 281, 27, 8}, BS_AUTO3STATE),
         Check(IDC_SYNC_SHOW_MODIFIED, L"Modified", {42, 281, 40, 8}, BS_AUTO3STATE),
         Check(IDC_SYNC_SHOW_MISSING, L"Missing", {90, 281, 37, 8}, BS_AUTO3STATE),
         IconStatic(IDC_STATIC, {275, 7, 20, 20})},
        true);
    EXPECT_TRUE(StaticIcon(Children(dialog.get()).back()));
    // Commit starts the direction group, so the arrow keys move between the two directions only.
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog.get(), IDC_SYNC_COMMIT), GWL_STYLE) & WS_GROUP);
    EXPECT_EQ(GetNextDlgGroupItem(dialog.get(), GetDlgItem(dialog.get(), IDC_SYNC_COMMIT), FALSE),
              GetDlgItem(dialog.get(), IDC_SYNC_UPDATE));
}

TEST(FiltersTemplate, HasABoxAndAnIconPerStateWithItsExplanation) {
    TemplateDialog dialog(IDD_FILTERS);
    ExpectFrame(dialog.get(), L"File And Folder View Filters", 339, 210, kModal | WS_SYSMENU, WS_THICKFRAME);
    auto box = [](int id, int y) { return Check(id, L"", {7, y, 8, 8}); };
    auto icon = [](int id, int y) { return IconStatic(id, {15, y, 20, 20}); };
    ExpectControls(
        dialog.get(),
        {Push(IDOK, L"OK", {225, 189, 50, 14}, true),
         Push(IDCANCEL, L"Cancel", {282, 189, 50, 14}, false),
         Text(IDC_STATIC, L"Show Files", {7, 7, 35, 8}),
         box(IDC_FILTER_FILE_IDENTICAL, 22),
         box(IDC_FILTER_FILE_NEW, 36),
         box(IDC_FILTER_FILE_MISSING, 50),
         box(IDC_FILTER_FILE_MODIFIED, 64),
         icon(IDC_FILTER_FILE_IDENTICAL_ICON, 21),
         icon(IDC_FILTER_FILE_NEW_ICON, 35),
         icon(IDC_FILTER_FILE_MISSING_ICON, 49),
         icon(IDC_FILTER_FILE_MODIFIED_ICON, 63),
         Text(IDC_STATIC, L"Identical: Common to both locations and content the same / modified date the same",
              {29, 22, 281, 8}),
         Text(IDC_STATIC, L"New: Present in the current location and missing in the other one", {29, 36, 214, 8}),
         Text(IDC_STATIC, L"Missing: Missing in the current location and present in the other one",
              {29, 50, 222, 8}),
         Text(IDC_STATIC, L"Modified: Common to both locations and different content / different modified date",
              {29, 64, 271, 8}),
         Text(IDC_STATIC, L"Show Folders", {7, 95, 44, 8}),
         box(IDC_FILTER_FOLDER_IDENTICAL, 110),
         box(IDC_FILTER_FOLDER_NEW, 124),
         box(IDC_FILTER_FOLDER_MISSING, 138),
         box(IDC_FILTER_FOLDER_MODIFIED, 152),
         icon(IDC_FILTER_FOLDER_IDENTICAL_ICON, 109),
         icon(IDC_FILTER_FOLDER_NEW_ICON, 123),
         icon(IDC_FILTER_FOLDER_MISSING_ICON, 137),
         icon(IDC_FILTER_FOLDER_MODIFIED_ICON, 151),
         Text(IDC_STATIC, L"Identical: Common to both locations and content the same", {29, 110, 281, 8}),
         Text(IDC_STATIC, L"New: Present in the current location and missing in the other one", {29, 124, 214, 8}),
         Text(IDC_STATIC, L"Missing: Missing in the current location and present in the other one",
              {29, 138, 222, 8}),
         Text(IDC_STATIC, L"Modified: Common to both locations and different content", {29, 152, 189, 8})},
        true);
    // The state icons are set when the dialog starts; the template leaves them empty.
    EXPECT_FALSE(StaticIcon(GetDlgItem(dialog.get(), IDC_FILTER_FILE_NEW_ICON)));
}

std::wstring LinkUrl(HWND link) {
    LITEM item = {};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    item.iLink = 0;
    if (!SendMessageW(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item))) return L"(no link)";
    return item.szUrl;
}

TEST(AboutTemplate, ShowsTitleVersionAndTwoLinksOfTheirOwn) {
    TemplateDialog dialog(IDD_ABOUTBOX);
    ExpectFrame(dialog.get(), L"About Quillmar", 257, 174, kModal | WS_SYSMENU, WS_THICKFRAME);
    ExpectControls(dialog.get(),
                   {Push(IDOK, L"OK", {200, 153, 50, 14}, true),
                    IconStatic(IDC_STATIC, {20, 14, 20, 20}),
                    Text(IDC_STATIC, L"Quillmar", {55, 16, 91, 8}),
                    Text(IDC_STATIC, L"Version 1.1.0.73", {55, 26, 55, 8}),
                    Text(IDC_STATIC, nullptr, {20, 53, 208, 8}),
                    {IDC_ABOUT_MAKER_LINK, WC_LINK, nullptr, {20, 63, 62, 10}, kAnyType, 0, WS_TABSTOP, false, true},
                    Text(IDC_STATIC, nullptr, {20, 84, 124, 8}),
                    {IDC_ABOUT_ICONS_LINK, WC_LINK, nullptr, {20, 94, 82, 10}, kAnyType, 0, WS_TABSTOP, false, true}},
                   true);
    EXPECT_TRUE(StaticIcon(Children(dialog.get())[1]));
    std::wstring maker = LinkUrl(GetDlgItem(dialog.get(), IDC_ABOUT_MAKER_LINK));
    std::wstring icons = LinkUrl(GetDlgItem(dialog.get(), IDC_ABOUT_ICONS_LINK));
    EXPECT_EQ(maker.rfind(L"https://", 0), 0u) << "maker link: " << testing::PrintToString(maker);
    EXPECT_EQ(icons.rfind(L"https://", 0), 0u) << "icons link: " << testing::PrintToString(icons);
    EXPECT_NE(maker, icons);
}

// ---- icons

struct IconUse {
    int id;
    std::vector<int> sizes;  // every pixel size the program asks for
};

const std::vector<IconUse>& IconUses() {
    static const std::vector<IconUse> uses = [] {
        std::vector<IconUse> list = {{IDI_APP, {16, 32, 48}}, {IDI_ABOUT, {32, 48}}};
        for (int id = IDI_MISSING_FILE; id <= IDI_DRIVE_OTHER; ++id) list.push_back({id, {16, 32}});
        for (int id : {IDI_TOOL_HELP, IDI_TOOL_SYNCHRONIZE, IDI_TOOL_FILTERS, IDI_TOOL_OPEN_VOLUMES, IDI_TOOL_ANALYZE,
                       IDI_TOOL_SINGLE_VIEW, IDI_TOOL_DOUBLE_VIEW})
            list.push_back({id, {16, 24, 32}});
        return list;
    }();
    return uses;
}

// The raw image the system picks from an icon group for a size, or nullptr.
const BITMAPINFOHEADER* IconImage(int groupId, int size) {
    HRSRC group = FindResourceW(Module(), MAKEINTRESOURCEW(groupId), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    if (!group) return nullptr;
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(Module(), group)));
    int imageId = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC image = FindResourceW(Module(), MAKEINTRESOURCEW(imageId), MAKEINTRESOURCEW(3) /* RT_ICON */);
    if (!image) return nullptr;
    return static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Module(), image)));
}

TEST(Icons, EveryIconHasItsOwn32BitImageAtEverySizeItIsUsed) {
    for (const IconUse& use : IconUses()) {
        for (int size : use.sizes) {
            SCOPED_TRACE(testing::Message() << "icon " << use.id << " at " << size);
            const BITMAPINFOHEADER* image = IconImage(use.id, size);
            ASSERT_TRUE(image);
            EXPECT_EQ(image->biWidth, size);
            EXPECT_EQ(image->biHeight, 2 * size);  // colour and mask
            EXPECT_EQ(image->biBitCount, 32);
            HICON icon = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(use.id), IMAGE_ICON, size, size, 0));
            ASSERT_TRUE(icon);
            ICONINFO info = {};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP bitmap = {};
            GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
            EXPECT_EQ(bitmap.bmWidth, size);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
    }
}

// Pixels of an image that are not fully transparent; an icon must draw
// something, and must leave some of its square clear to read as a shape.
int OpaquePixels(const BITMAPINFOHEADER* image) {
    const auto* pixels = reinterpret_cast<const BYTE*>(image + 1);
    int count = 0;
    for (int i = 0; i < image->biWidth * image->biWidth; ++i) count += pixels[i * 4 + 3] != 0;
    return count;
}

TEST(Icons, PaneIconsAreDrawnAndAllDifferentAtSixteenPixels) {
    std::vector<const BITMAPINFOHEADER*> images;
    for (int id = IDI_MISSING_FILE; id <= IDI_DRIVE_OTHER; ++id) {
        const BITMAPINFOHEADER* image = IconImage(id, 16);
        ASSERT_TRUE(image) << id;
        int opaque = OpaquePixels(image);
        EXPECT_GT(opaque, 40) << id;
        EXPECT_LT(opaque, 16 * 16) << id;
        images.push_back(image);
    }
    const size_t bytes = 16 * 16 * 4;
    for (size_t a = 0; a < images.size(); ++a)
        for (size_t b = a + 1; b < images.size(); ++b)
            EXPECT_NE(memcmp(images[a] + 1, images[b] + 1, bytes), 0)
                << "icons " << IDI_MISSING_FILE + a << " and " << IDI_MISSING_FILE + b << " look the same";
}

TEST(Icons, FillTheImageListsOfThePanesAndTheToolbar) {
    HIMAGELIST items = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 14);
    ASSERT_TRUE(items);
    for (int id = IDI_MISSING_FILE; id <= IDI_DRIVE_OTHER; ++id) {
        HICON icon = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
        EXPECT_EQ(ImageList_AddIcon(items, icon), id - IDI_MISSING_FILE);
        DestroyIcon(icon);
    }
    ImageList_Destroy(items);
    HIMAGELIST tools = ImageList_Create(24, 24, ILC_COLOR32, 0, 7);
    ASSERT_TRUE(tools);
    int index = 0;
    for (int id : {IDI_TOOL_OPEN_VOLUMES, IDI_TOOL_FILTERS, IDI_TOOL_ANALYZE, IDI_TOOL_SYNCHRONIZE, IDI_TOOL_HELP,
                   IDI_TOOL_SINGLE_VIEW, IDI_TOOL_DOUBLE_VIEW}) {
        HICON icon = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 24, 24, 0));
        EXPECT_EQ(ImageList_AddIcon(tools, icon), index++) << id;
        DestroyIcon(icon);
    }
    ImageList_Destroy(tools);
}

}  // namespace
