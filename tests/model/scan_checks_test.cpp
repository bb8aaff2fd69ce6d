#include "model/memory.h"
#include "model/scan_checks.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

TEST(EntryNameTest, NamesThatPathsChangeOrRejectAreRefused) {
    const wchar_t* refused[] = {
        L"trail ", L"trail.", L"...", L"ctl\x01", L"tab\tname", L"st*r", L"q?m", L"quo\"te", L"lt<", L"gt>",
        L"pi|pe", L"co:lon", L"sl/ash", L"back\\slash", L"CON", L"nul", L"Nul.txt", L"aux.tar.gz", L"com1",
        L"LPT9.log", L"com1 .txt", L"prn ", L"conin$", L"CONOUT$.x", L"",
    };
    for (const wchar_t* name : refused) EXPECT_EQ(CheckEntryName(name), DWORD(ERROR_INVALID_NAME)) << name;
}

TEST(EntryNameTest, OrdinaryNamesPass) {
    const wchar_t* accepted[] = {
        L".", L"..", L"a", L"ok name.txt", L" leading.txt", L".hidden", L"x.y.z", L"com10.txt", L"com0",
        L"console.txt", L"nullable", L"lpt", L"auxiliary.c", L"\xF02Aprivate", L"caf\xE9", L"\xFFFDmark",
    };
    for (const wchar_t* name : accepted) EXPECT_EQ(CheckEntryName(name), DWORD(ERROR_SUCCESS)) << name;
}

// A listing made in memory: files and folders by name.
struct Listing {
    DirEntryList* files;
    DirEntryList* folders;
    Listing(const std::vector<std::wstring>& fileNames, const std::vector<std::wstring>& folderNames) {
        files = Make(fileNames);
        folders = Make(folderNames);
    }
    ~Listing() {
        FreeRecordList(files);
        FreeRecordList(folders);
    }
    // The files' names followed by the folders', as the scan hands them over.
    bool FindTwins(BYTE* flags) const {
        std::vector<const wchar_t*> names;
        for (const DirEntryList* list : {files, folders}) {
            for (uint32_t i = 0; i < list->count; ++i) names.push_back(list->entries[i].name);
        }
        auto nameAt = [](const void* all, uint32_t index) {
            return (*static_cast<const std::vector<const wchar_t*>*>(all))[index];
        };
        return FindCaseTwins(nameAt, &names, static_cast<uint32_t>(names.size()), flags);
    }
    static DirEntryList* Make(const std::vector<std::wstring>& names) {
        size_t entries = names.empty() ? 1 : names.size();
        auto* list = static_cast<DirEntryList*>(MemAllocZero(sizeof(DirEntryList) + (entries - 1) * sizeof(DirEntry)));
        list->count = static_cast<uint32_t>(names.size());
        for (size_t i = 0; i < names.size(); ++i) wcscpy(list->entries[i].name, names[i].c_str());
        return list;
    }
    std::vector<int> Twins() const {
        std::vector<BYTE> flags(files->count + folders->count + 1, 7);
        EXPECT_TRUE(FindTwins(flags.data()));
        return std::vector<int>(flags.begin(), flags.end() - 1);
    }
};

TEST(CaseTwinTest, MarksEveryNameThatAnotherMatchesIgnoringCase) {
    // Few entries (compared pair by pair): a file twin, a folder facing a file, a triple.
    Listing small({L"a.txt", L"b.txt", L"A.TXT", L"Dir", L"x", L"X"}, {L".", L"..", L"dir", L"only", L"x"});
    EXPECT_EQ(small.Twins(), (std::vector<int>{1, 0, 1, 1, 1, 1, 0, 0, 1, 0, 1}));

    // Many entries (through the table), the twins far apart.
    std::vector<std::wstring> files;
    for (int i = 0; i < 40; ++i) files.push_back(L"file" + std::to_wstring(i));
    files.push_back(L"FILE7");
    Listing large(files, {L".", L"..", L"File39", L"folder"});
    std::vector<int> expected(files.size() + 4, 0);
    expected[7] = expected[40] = 1;
    expected[39] = expected[43] = 1;
    EXPECT_EQ(large.Twins(), expected);
}

TEST(CaseTwinTest, ATableThatCannotBeMadeIsReported) {
    std::vector<std::wstring> files;
    for (int i = 0; i < 40; ++i) files.push_back(L"f" + std::to_wstring(i));
    Listing large(files, {});
    std::vector<BYTE> flags(files.size());
    long before = MemOutstanding();
    MemFailAfter(0);
    bool found = large.FindTwins(flags.data());
    MemFailAfter(-1);
    EXPECT_FALSE(found);
    EXPECT_EQ(MemOutstanding(), before);
}

}  // namespace
