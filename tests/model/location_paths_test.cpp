// Which pairs of locations may be analysed and synchronized together.
#include "model/location_paths.h"

#include "tests/support/temp_folder.h"
#include "tests/support/unix_side.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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
    ASSERT_EQ(RunUnixShell("ln -s " + ShellQuote(unix + "outer") + " " + ShellQuote(unix + "elsewhere/link") +
                           " && ln -s " + ShellQuote(unix + "outer/inner") + " " + ShellQuote(unix + "elsewhere/deep")),
              0);
    std::wstring link = elsewhere + L"link\\";
    ASSERT_NE(GetFileAttributesW((link + L"inner").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(LocationsOverlap(link.c_str(), inner.c_str()));
    EXPECT_TRUE(LocationsOverlap((link + L"inner\\").c_str(), inner.c_str()));
    EXPECT_TRUE(LocationsOverlap((link + L"inner\\").c_str(), (folder.Path() + L"outer\\").c_str()));
    // A link to a folder inside the other location shows nothing of it on its own path.
    EXPECT_TRUE(LocationsOverlap((elsewhere + L"deep\\").c_str(), (folder.Path() + L"outer\\").c_str()));
    std::wstring sibling = folder.MakeFolder(L"sibling");
    EXPECT_FALSE(LocationsOverlap((link + L"inner\\").c_str(), sibling.c_str()));
    EXPECT_TRUE(RemoveUnixTree(folder.Path()));  // the link is removed, not followed
}

std::wstring Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::wstring(value, value + strlen(value)) : std::wstring();
}

// A drive letter may stand for a folder of another drive (a substituted
// drive, a network drive mapped to a folder of a share, under Wine a drive
// linked into the Linux tree): what lies on it lies inside every folder that
// holds that folder, though no path on the drive leads up there.
TEST(LocationPaths, ADriveStandingForAFolderLiesWhereTheFolderLies) {
    const std::wstring alias = Variable("QUILLMAR_TEST_ALIAS_DRIVE");      // the folder aliased\sub
    const std::wstring aliased = Variable("QUILLMAR_TEST_ALIASED_FOLDER");  // by a path of its own drive
    const std::wstring empty = Variable("QUILLMAR_TEST_EMPTY_DRIVE");       // a folder beside aliased
    if (alias.empty() || aliased.empty() || empty.empty()) GTEST_SKIP() << "the test drives are not mapped";
    const std::wstring root = alias + L"\\", out = aliased + L"\\", other = empty + L"\\";
    ASSERT_NE(GetFileAttributesW((root + L"x").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_NE(GetFileAttributesW((out + L"sub\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_NE(GetFileAttributesW((out + L"sibling").c_str()), INVALID_FILE_ATTRIBUTES);
    const struct {
        std::wstring first, second;
        bool overlap;
    } pairs[] = {
        {root, out, true},                          // the drive's root lies inside the other location
        {root + L"x\\", out, true},                 // and so does all that lies on the drive
        {root + L"x\\new\\", aliased, true},        // even what does not exist yet
        {root, out + L"..\\", true},                // and every folder above holds it
        {other, out + L"..\\", true},               // as it holds a root linked by an absolute path
        {root, out + L"sub\\", true},               // the same folder
        {root + L"x", out + L"sub\\x\\", true},     // the same folder, deeper
        {root, out + L"sibling\\", false},          // a folder beside the drive's root
        {root + L"x\\", out + L"sub\\x2\\", false},  // beside a folder on the drive
        {out + L"sibling\\", out + L"sub\\x\\", false},
        {root, other, false},                       // two drives standing for unrelated folders
        {root + L"x\\", other, false},
    };
    for (const auto& pair : pairs) {
        EXPECT_EQ(LocationsOverlap(pair.first.c_str(), pair.second.c_str()), pair.overlap)
            << pair.first << " " << pair.second;
        EXPECT_EQ(LocationsOverlap(pair.second.c_str(), pair.first.c_str()), pair.overlap)
            << pair.second << " " << pair.first;
    }
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
