// Which pairs of locations may be analysed and synchronized together.
#include "model/location_paths.h"

#include "tests/support/temp_folder.h"
#include "tests/support/unix_side.h"

#include <gtest/gtest.h>

namespace {

struct Pair {
    const wchar_t* first;
    const wchar_t* second;
    bool overlap;
};

TEST(LocationPaths, OverlapIsFoundAtABackslashWhateverTheCaseAndTheDots) {
    const Pair pairs[] = {
        {L"C:\\data\\", L"C:\\data\\", true},
        {L"C:\\data", L"c:\\DATA\\", true},
        {L"C:\\data\\", L"C:\\data\\sub\\", true},
        {L"C:\\data\\sub\\deeper\\", L"C:\\Data\\", true},
        {L"C:\\", L"C:\\data\\", true},
        {L"C:\\data\\sub\\..\\", L"C:\\data\\", true},
        {L"C:\\data\\.\\sub", L"C:\\data\\sub\\", true},
        {L"C:\\data\\", L"C:\\data2\\", false},
        {L"C:\\data-old\\", L"C:\\data\\", false},
        {L"C:\\data\\", L"D:\\data\\", false},
        {L"C:\\a\\b\\", L"C:\\a\\c\\", false},
    };
    for (const Pair& pair : pairs) {
        EXPECT_EQ(LocationsOverlap(pair.first, pair.second), pair.overlap) << pair.first << " " << pair.second;
        EXPECT_EQ(LocationsOverlap(pair.second, pair.first), pair.overlap) << pair.second << " " << pair.first;
    }
    EXPECT_TRUE(LocationsOverlap(nullptr, L"C:\\data\\"));
}

// Wine shows the Linux root as Z:, so every folder of C: has a second name there.
TEST(LocationPaths, TheSameFolderUnderAnotherDriveLetterOverlaps) {
    TempFolder folder;
    std::wstring inner = folder.MakeFolder(L"outer\\inner");
    std::string unix = UnixPathOf(folder.Path());
    if (unix.empty()) GTEST_SKIP() << "not under Wine";
    std::wstring other = L"Z:";
    for (char c : unix) other += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    ASSERT_NE(GetFileAttributesW((other + L"outer\\inner").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(LocationsOverlap(folder.Path().c_str(), other.c_str()));
    EXPECT_TRUE(LocationsOverlap((other + L"outer\\").c_str(), inner.c_str()));
    EXPECT_TRUE(LocationsOverlap(inner.c_str(), (other + L"outer").c_str()));
    std::wstring sibling = folder.MakeFolder(L"sibling");
    EXPECT_FALSE(LocationsOverlap(sibling.c_str(), (other + L"outer\\").c_str()));
}

// A link is another name for its target: a location reached through one lies
// where the target lies, whatever its own path says.
TEST(LocationPaths, ALinkIntoTheOtherLocationOverlapsIt) {
    TempFolder folder;
    std::wstring inner = folder.MakeFolder(L"outer\\inner");
    std::wstring elsewhere = folder.MakeFolder(L"elsewhere");
    std::string unix = UnixPathOf(folder.Path());
    if (unix.empty()) GTEST_SKIP() << "not under Wine";
    ASSERT_EQ(RunUnixShell("ln -s " + ShellQuote(unix + "outer") + " " + ShellQuote(unix + "elsewhere/link")), 0);
    std::wstring link = elsewhere + L"link\\";
    ASSERT_NE(GetFileAttributesW((link + L"inner").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(LocationsOverlap(link.c_str(), inner.c_str()));
    EXPECT_TRUE(LocationsOverlap((link + L"inner\\").c_str(), inner.c_str()));
    EXPECT_TRUE(LocationsOverlap((link + L"inner\\").c_str(), (folder.Path() + L"outer\\").c_str()));
    std::wstring sibling = folder.MakeFolder(L"sibling");
    EXPECT_FALSE(LocationsOverlap((link + L"inner\\").c_str(), sibling.c_str()));
    EXPECT_TRUE(RemoveUnixTree(folder.Path()));  // the link is removed, not followed
}

// What the system gives for a folder reached through links, in the forms the checks take.
TEST(LocationPaths, DriveLetterAndShareFormsLoseThePrefixAndOthersStayWhole) {
    const std::pair<const wchar_t*, const wchar_t*> forms[] = {
        {L"\\\\?\\C:\\data\\photos", L"C:\\data\\photos"},
        {L"\\\\?\\z:\\", L"z:\\"},
        {L"\\\\?\\UNC\\server\\share\\dir", L"\\\\server\\share\\dir"},
        {L"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-000000000000}\\dir",
         L"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-000000000000}\\dir"},
        {L"\\\\?\\unix\\tmp", L"\\\\?\\unix\\tmp"},
        {L"C:\\data", L"C:\\data"},
    };
    for (const auto& form : forms) {
        std::wstring path = form.first;
        DropExtendedPrefix(&path[0]);
        EXPECT_EQ(std::wstring(path.c_str()), form.second);
    }
}

TEST(LocationPaths, RawDevicePathsAreRecognised) {
    EXPECT_TRUE(IsRawDevicePath(L"\\\\?\\C:\\data"));
    EXPECT_TRUE(IsRawDevicePath(L"\\\\.\\C:\\data"));
    EXPECT_FALSE(IsRawDevicePath(L"\\\\server\\share"));
    EXPECT_FALSE(IsRawDevicePath(L"C:\\data"));
    EXPECT_FALSE(IsRawDevicePath(L"\\\\?"));
}

}  // namespace
