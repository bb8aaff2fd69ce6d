#include "model/enumeration.h"
#include "model/location_tree.h"
#include "model/memory.h"
#include "model/record_list_builder.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Names(const DirEntryList* list) {
    std::vector<std::wstring> names;
    for (uint32_t i = 0; i < list->count; ++i) names.push_back(list->entries[i].name);
    return names;
}

std::wstring TestDrive(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value || !*value) return std::wstring();
    std::wstring drive(value, value + strlen(value));
    return drive + L"\\";
}

struct Listing {
    DirEntryList* files = nullptr;
    DirEntryList* folders = nullptr;
    ~Listing() {
        FreeRecordList(files);
        FreeRecordList(folders);
    }
};

TEST(ListDirectory, ListsFilesAndFoldersApartWithDotEntries) {
    TempFolder folder;
    folder.MakeFile(L"one.txt", "abc");
    folder.MakeFile(L"two.bin");
    folder.MakeFolder(L"Sub");
    ASSERT_TRUE(SetLastWriteTime(folder.PathOf(L"one.txt"), 132000000000000000ull));

    Listing listing;
    ASSERT_EQ(ListDirectory(folder.Path().c_str(), &listing.files, &listing.folders), 0u);
    std::vector<std::wstring> folders = Names(listing.folders);
    EXPECT_EQ(std::set<std::wstring>(folders.begin(), folders.end()), (std::set<std::wstring>{L".", L"..", L"Sub"}));
    std::vector<std::wstring> files = Names(listing.files);
    EXPECT_EQ(std::set<std::wstring>(files.begin(), files.end()), (std::set<std::wstring>{L"one.txt", L"two.bin"}));
    for (uint32_t i = 0; i < listing.files->count; ++i) {
        const DirEntry& entry = listing.files->entries[i];
        EXPECT_FALSE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (std::wstring(entry.name) == L"one.txt") {
            EXPECT_EQ(entry.size, 3u);
            EXPECT_EQ(FileTimeValue(entry.lastWriteTime), 132000000000000000ull);
        }
    }
}

TEST(ListDirectory, KeepsTheSystemsOrder) {
    TempFolder folder;
    for (int i = 0; i < 30; ++i) folder.MakeFile(L"f" + std::to_wstring(i));
    Listing listing;
    ASSERT_EQ(ListDirectory(folder.Path().c_str(), &listing.files, &listing.folders), 0u);

    std::vector<std::wstring> systemOrder;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder.Path() + L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) systemOrder.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(Names(listing.files), systemOrder);
}

TEST(ListDirectory, ListsAFolderOfManyEntriesAcrossGrowthSteps) {
    TempFolder folder;
    for (int i = 0; i < 205; ++i) folder.MakeFile(std::to_wstring(i) + L".dat");
    for (int i = 0; i < 97; ++i) folder.MakeFolder(L"d" + std::to_wstring(i));
    Listing listing;
    ASSERT_EQ(ListDirectory(folder.Path().c_str(), &listing.files, &listing.folders), 0u);
    EXPECT_EQ(listing.files->count, 205u);
    EXPECT_EQ(listing.folders->count, 99u);
}

TEST(ListDirectory, ReportsMissingFoldersAndArguments) {
    TempFolder folder;
    Listing listing;
    std::wstring missing = folder.Path() + L"nothing-here\\";
    EXPECT_EQ(ListDirectory(missing.c_str(), &listing.files, &listing.folders), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(listing.files, nullptr);
    EXPECT_EQ(listing.folders, nullptr);
    EXPECT_EQ(ListDirectory(nullptr, &listing.files, &listing.folders), 87u);
    EXPECT_EQ(ListDirectory(folder.Path().c_str(), nullptr, &listing.folders), 87u);
    EXPECT_EQ(ListDirectory(folder.Path().c_str(), &listing.files, nullptr), 87u);
}

TEST(ListDirectory, RefusesAPathWithNoRoomForThePattern) {
    std::wstring huge = L"C:\\" + std::wstring(kPathUnits, L'a') + L"\\";
    Listing listing;
    EXPECT_EQ(ListDirectory(huge.c_str(), &listing.files, &listing.folders), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(HasSubfolder(huge.c_str()));
}

TEST(ListDirectory, EmptyVolumeRootListsNothingAndSucceeds) {
    std::wstring drive = TestDrive("QUILLMAR_TEST_EMPTY_DRIVE");
    if (drive.empty()) GTEST_SKIP() << "no empty test drive is mapped";
    Listing listing;
    ASSERT_EQ(ListDirectory(drive.c_str(), &listing.files, &listing.folders), 0u);
    EXPECT_EQ(listing.files->count, 0u);
    EXPECT_EQ(listing.folders->count, 0u);
}

TEST(ListDirectory, FreesEverythingWhenMemoryRunsOut) {
    TempFolder folder;
    for (int i = 0; i < 120; ++i) folder.MakeFile(std::to_wstring(i));
    long before = MemOutstanding();
    // Each allocation fails in turn (the pattern, the file list, the folder
    // list, the file list's growth) until the listing gets all it needs.
    long failures = 0;
    for (long allowed = 0; allowed < 10; ++allowed) {
        Listing listing;
        MemFailAfter(allowed);
        DWORD status = ListDirectory(folder.Path().c_str(), &listing.files, &listing.folders);
        MemFailAfter(-1);
        if (status == 0) {
            EXPECT_EQ(listing.files->count, 120u);
            break;
        }
        ++failures;
        EXPECT_EQ(status, 8u) << allowed;
        EXPECT_EQ(listing.files, nullptr);
        EXPECT_EQ(listing.folders, nullptr);
        EXPECT_EQ(MemOutstanding(), before);
    }
    EXPECT_EQ(failures, 4);
}

TEST(ListDirectory, GivesAFiveGibibyteFileItsFullSize) {
    TempFolder folder;
    std::wstring path = folder.MakeFile(L"huge.bin");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 5368709120LL;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);

    Listing listing;
    ASSERT_EQ(ListDirectory(folder.Path().c_str(), &listing.files, &listing.folders), 0u);
    ASSERT_EQ(listing.files->count, 1u);
    EXPECT_EQ(listing.files->entries[0].size, 5368709120ull);
}

TEST(HasSubfolder, SeesOnlyRealSubfolders) {
    TempFolder folder;
    folder.MakeFile(L"only-a-file");
    EXPECT_FALSE(HasSubfolder(folder.Path().c_str()));
    folder.MakeFolder(L"child");
    EXPECT_TRUE(HasSubfolder(folder.Path().c_str()));
    EXPECT_FALSE(HasSubfolder((folder.Path() + L"missing\\").c_str()));
    EXPECT_FALSE(HasSubfolder(nullptr));
}

TEST(EnumerateVolumes, ListsDrivesInLetterOrderWithTheirTypes) {
    VolumeList* volumes = EnumerateVolumes();
    ASSERT_NE(volumes, nullptr);
    ASSERT_GE(volumes->count, 1u);
    bool sawC = false;
    for (uint32_t i = 0; i < volumes->count; ++i) {
        const VolumeInfo& volume = volumes->entries[i];
        EXPECT_EQ(volume.rootPath[1], L':');
        EXPECT_EQ(volume.rootPath[2], L'\\');
        EXPECT_EQ(volume.rootPath[3], 0);
        EXPECT_NE(volume.driveType, unsigned(DRIVE_NO_ROOT_DIR));
        EXPECT_EQ(volume.driveType, GetDriveTypeW(volume.rootPath));
        if (i > 0) {
            EXPECT_LT(volumes->entries[i - 1].rootPath[0], volume.rootPath[0]);
        }
        if (volume.rootPath[0] == L'C') sawC = true;
    }
    EXPECT_TRUE(sawC);

    std::wstring empty = TestDrive("QUILLMAR_TEST_EMPTY_DRIVE");
    if (!empty.empty()) {
        bool sawEmpty = false;
        for (uint32_t i = 0; i < volumes->count; ++i) sawEmpty |= volumes->entries[i].rootPath[0] == empty[0];
        EXPECT_TRUE(sawEmpty) << "the mapped test drive is listed";
    }
    FreeRecordList(volumes);
}

TEST(ListingBuilder, GrowsByItsFactorUpToWhatOneBlockCanHold) {
    typedef ListingBuilder<DirEntry> Builder;
    EXPECT_EQ(Builder::GrownCapacity(100, 4), 400u);
    EXPECT_EQ(Builder::GrownCapacity(6400, 2), 12800u);
    const uint32_t most = static_cast<uint32_t>((SIZE_MAX - offsetof(DirEntryList, entries)) / sizeof(DirEntry));
    EXPECT_EQ(Builder::GrownCapacity(most / 4 + 1, 4), most) << "the last step stops at the limit";
    EXPECT_EQ(Builder::GrownCapacity(most / 4, 4), most / 4 * 4);
    EXPECT_EQ(Builder::GrownCapacity(most - 1, 2), most);
    EXPECT_EQ(Builder::GrownCapacity(most, 4), 0u) << "a full list cannot grow";
    EXPECT_GT(RecordListBytes<DirEntry>(most), RecordListBytes<DirEntry>(most - 1)) << "no overflow";
}

TEST(ListingBuilder, KeepsEveryEntryInOrderAcrossEachGrowth) {
    // Files are two entries in three: each list fills at 100, 1,600 and 25,600 entries.
    for (uint32_t count : {1u, 99u, 100u, 101u, 299u, 300u, 301u, 2399u, 2400u, 2401u, 2402u, 38401u, 38402u}) {
        ListingBuilder<DirEntry> builder;
        ASSERT_TRUE(builder.Start());
        for (uint32_t i = 0; i < count; ++i) {
            DirEntry entry = {};
            wcscpy(entry.name, std::to_wstring(i).c_str());
            entry.size = i;
            entry.attributes = i % 3 == 0 ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
            ASSERT_TRUE(builder.Append(entry)) << i;
        }
        Listing listing;
        builder.Finish(&listing.files, &listing.folders);
        ASSERT_EQ(listing.folders->count, (count + 2) / 3);
        ASSERT_EQ(listing.files->count, count - (count + 2) / 3);
        for (const DirEntryList* list : {listing.files, listing.folders}) {
            for (uint32_t i = 0; i < list->count; ++i) {
                const DirEntry& entry = list->entries[i];
                EXPECT_EQ(std::wstring(entry.name), std::to_wstring(entry.size));
                if (i > 0) {
                    EXPECT_LT(list->entries[i - 1].size, entry.size) << "listing order kept";
                }
            }
        }
    }
}

TEST(ListingBuilder, AListThatCannotGrowKeepsWhatItHas) {
    long before = MemOutstanding();
    {
        ListingBuilder<DirEntry> builder;
        ASSERT_TRUE(builder.Start());
        DirEntry entry = {};
        for (uint32_t i = 0; i + 1 < ListingBuilder<DirEntry>::kFirstCapacity; ++i) ASSERT_TRUE(builder.Append(entry));
        MemFailAfter(0);
        bool grown = builder.Append(entry);
        MemFailAfter(-1);
        EXPECT_FALSE(grown);
        Listing listing;
        builder.Finish(&listing.files, &listing.folders);
        EXPECT_EQ(listing.files->count, ListingBuilder<DirEntry>::kFirstCapacity);
        EXPECT_EQ(listing.folders->count, 0u);
    }
    EXPECT_EQ(MemOutstanding(), before);
}

}  // namespace
