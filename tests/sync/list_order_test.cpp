// The Synchronize dialog's rows, put in without the list's own sorting, must
// stand where the list's comparison of their texts would put them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "model/memory.h"
#include "sync/ui/list_order.h"

namespace {

std::vector<std::wstring> InListOrder(const std::vector<std::wstring>& paths) {
    SyncItemList* items = nullptr;
    for (const std::wstring& path : paths) EXPECT_EQ(AppendSyncItem(&items, path.c_str(), DiffNew, false, true), 0u);
    std::vector<std::wstring> ordered;
    uint32_t* order = items ? RecordsInListOrder(items) : nullptr;
    EXPECT_NE(order, nullptr);
    for (uint32_t index = 0; order && index < items->count; ++index) ordered.push_back(items->items[order[index]].path);
    MemFree(order);
    FreeSyncItemList(items);
    return ordered;
}

std::vector<std::wstring> ByComparison(std::vector<std::wstring> paths) {
    std::stable_sort(paths.begin(), paths.end(),
                     [](const std::wstring& a, const std::wstring& b) { return lstrcmpW(a.c_str(), b.c_str()) < 0; });
    return paths;
}

}  // namespace

TEST(ListOrder, MatchesTheListsComparisonOnRandomPaths) {
    // Hyphens, apostrophes, case, accents, digits and separators weigh differently
    // in the comparison than in code-unit order; the paths share a folder and
    // often the start of a name, where the shared part must not be cut.
    const std::wstring pieces[] = {L"a", L"A", L"b", L"-", L"'", L"_", L".", L" ", L"1", L"10", L"2", L"\u00e9",
                                   L"e", L"E", L"co", L"op", L"\\"};
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::wstring> paths;
        for (int count = 0; count < 200; ++count) {
            std::wstring path = L"C:\\Data\\ab";
            const int length = 1 + static_cast<int>(random() % 6);
            for (int piece = 0; piece < length; ++piece) path += pieces[random() % std::size(pieces)];
            paths.push_back(path);
        }
        EXPECT_EQ(InListOrder(paths), ByComparison(paths)) << "round " << round;
    }
}

TEST(ListOrder, KeepsEqualTextsInTheirOrderAndHandlesOneOrNoRecord) {
    EXPECT_EQ(InListOrder({L"C:\\x\\b", L"C:\\x\\a", L"C:\\x\\b", L"C:\\x\\a"}),
              std::vector<std::wstring>({L"C:\\x\\a", L"C:\\x\\a", L"C:\\x\\b", L"C:\\x\\b"}));
    EXPECT_EQ(InListOrder({L"C:\\only"}), std::vector<std::wstring>({L"C:\\only"}));
    SyncItemList* empty = nullptr;
    ASSERT_EQ(AppendSyncItem(&empty, L"C:\\x", DiffNew, false, true), 0u);
    empty->count = 0;
    uint32_t* order = RecordsInListOrder(empty);
    EXPECT_NE(order, nullptr);
    MemFree(order);
    FreeSyncItemList(empty);
}

TEST(ListOrder, RunsOutOfMemoryCleanly) {
    SyncItemList* items = nullptr;
    for (int index = 0; index < 50; ++index)
        ASSERT_EQ(AppendSyncItem(&items, (L"C:\\x\\item " + std::to_wstring(index)).c_str(), DiffNew, false, true), 0u);
    const long baseline = MemOutstanding();
    for (long allowed = 0; allowed < 4; ++allowed) {
        MemFailAfter(allowed);
        uint32_t* order = RecordsInListOrder(items);
        MemFailAfter(-1);
        if (order != nullptr) MemFree(order);
        EXPECT_EQ(MemOutstanding(), baseline) << "allowed " << allowed;
    }
    FreeSyncItemList(items);
}

