// The listing order of SortListing, checked against the plain exchange sort
// that defined it, on lists large enough to cross every run and merge.
#include "model/memory.h"
#include "model/names.h"
#include "model/records.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// The order as first written: each position in turn takes the least entry of
// the rest. Kept here only as the reference.
template <class Entry>
void ExchangeSort(RecordList<Entry>* list) {
    for (uint32_t i = 0; i + 1 < list->count; ++i) {
        for (uint32_t j = i + 1; j < list->count; ++j) {
            const Entry& a = list->entries[i];
            const Entry& b = list->entries[j];
            bool after = !IsDotDot(a.name) && (IsDotDot(b.name) || CompareNamesIgnoringCase(a.name, b.name) > 0);
            if (after) std::swap(list->entries[i], list->entries[j]);
        }
    }
}

template <class Entry>
RecordList<Entry>* MakeList(const std::vector<std::wstring>& names) {
    auto* list = static_cast<RecordList<Entry>*>(
        MemAllocZero(sizeof(RecordList<Entry>) + sizeof(Entry) * (names.size() ? names.size() : 1)));
    list->count = static_cast<uint32_t>(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        wcsncpy(list->entries[i].name, names[i].c_str(), kMaxNameUnits - 1);
        list->entries[i].size = i;  // remembers the listing position
    }
    return list;
}

template <class Entry>
std::vector<std::pair<std::wstring, uint64_t>> Contents(const RecordList<Entry>* list) {
    std::vector<std::pair<std::wstring, uint64_t>> contents;
    for (uint32_t i = 0; i < list->count; ++i) contents.emplace_back(list->entries[i].name, list->entries[i].size);
    return contents;
}

// Names built to meet at every place a comparison can end: short names, names
// of exactly four units, shared prefixes longer than four, case and accents.
std::wstring RandomName(std::mt19937& random) {
    static const wchar_t* stems[] = {L"", L"a", L"ab", L"abc", L"abcd", L"Abcde", L"report", L"REPORT_", L"z",
                                     L"\u00E9t\u00E9", L"\u00C9T\u00C9", L"!", L".", L"~x", L"\u0416\u0443\u043A"};
    static const wchar_t letters[] = L"aAbBzZ0_9.-\u00E9\u00C9\u00DF\u0416\u0436";
    std::wstring name = stems[random() % (sizeof(stems) / sizeof(stems[0]))];
    for (unsigned more = random() % 7; more; --more) name += letters[random() % (sizeof(letters) / sizeof(wchar_t) - 1)];
    return name.empty() ? L"e" : name;
}

// `count` names that differ from each other even ignoring case, sometimes with "..".
std::vector<std::wstring> DistinctNames(std::mt19937& random, size_t count) {
    std::vector<std::wstring> names;
    std::set<std::wstring> folded;
    while (names.size() < count) {
        std::wstring name = random() % 50 == 0 ? L".." : RandomName(random);
        std::wstring key(name.size() + 1, 0);
        FoldNameIgnoringCase(name.c_str(), &key[0]);
        if (folded.insert(key).second) names.push_back(name);
    }
    return names;
}

template <class Entry>
void ExpectSameOrderAsExchangeSort(const std::vector<std::wstring>& names) {
    RecordList<Entry>* sorted = MakeList<Entry>(names);
    RecordList<Entry>* reference = MakeList<Entry>(names);
    ASSERT_TRUE(SortListing(sorted));
    ExchangeSort(reference);
    EXPECT_EQ(Contents(sorted), Contents(reference)) << names.size() << " names";
    FreeRecordList(sorted);
    FreeRecordList(reference);
}

TEST(ListingOrder, DistinctNamesSortAsTheExchangeSortDoes) {
    std::mt19937 random(7);
    for (size_t count : {2, 3, 15, 16, 17, 33, 64, 100, 257, 600}) {
        for (int round = 0; round < 4; ++round) {
            std::vector<std::wstring> names = DistinctNames(random, count);
            ExpectSameOrderAsExchangeSort<NodeRecord>(names);
            ExpectSameOrderAsExchangeSort<DirEntry>(names);
        }
    }
}

// Names equal ignoring case, as case-sensitive file systems allow, keep their
// listing order wherever the merges put them.
void ExpectTiesInListingOrder(const NodeRecordList* list) {
    for (uint32_t i = 1; i < list->count; ++i) {
        const NodeRecord& a = list->entries[i - 1];
        const NodeRecord& b = list->entries[i];
        int order = IsDotDot(a.name) && IsDotDot(b.name) ? 0 : CompareNamesIgnoringCase(a.name, b.name);
        if (IsDotDot(a.name) != IsDotDot(b.name)) {
            EXPECT_TRUE(IsDotDot(a.name)) << "\"..\" leads";
            continue;
        }
        EXPECT_LE(order, 0) << "at " << i;
        if (order == 0) {
            EXPECT_LT(a.size, b.size) << "ties keep their listing order at " << i;
        }
    }
}

std::vector<std::wstring> NamesWithTies(std::mt19937& random, size_t count) {
    static const wchar_t* spellings[] = {L"read.me", L"READ.ME", L"Read.Me", L"abcd", L"ABCD", L"aBcD",
                                         L"\u00E9t\u00E9", L"\u00C9T\u00C9", L"..", L"x"};
    std::vector<std::wstring> names;
    for (size_t i = 0; i < count; ++i)
        names.push_back(random() % 2 ? spellings[random() % 10] : RandomName(random));
    return names;
}

TEST(ListingOrder, EqualNamesKeepTheirListingOrder) {
    std::mt19937 random(11);
    for (size_t count : {2, 16, 17, 40, 129, 1000}) {
        NodeRecordList* list = MakeList<NodeRecord>(NamesWithTies(random, count));
        ASSERT_TRUE(SortListing(list));
        ExpectTiesInListingOrder(list);
        FreeRecordList(list);
    }
}

TEST(ListingOrder, WithoutMemoryTheOrderIsTheSame) {
    std::mt19937 random(13);
    long baseline = MemOutstanding();
    for (size_t count : {2, 16, 17, 31, 48, 200, 517}) {
        std::vector<std::wstring> names = NamesWithTies(random, count);
        NodeRecordList* withMemory = MakeList<NodeRecord>(names);
        NodeRecordList* without = MakeList<NodeRecord>(names);
        ASSERT_TRUE(SortListing(withMemory));
        MemFailAfter(0);
        bool sorted = SortListing(without);
        MemFailAfter(-1);
        EXPECT_TRUE(sorted);
        EXPECT_EQ(Contents(without), Contents(withMemory)) << count << " names";
        ExpectTiesInListingOrder(without);
        FreeRecordList(withMemory);
        FreeRecordList(without);
    }
    EXPECT_EQ(MemOutstanding(), baseline);
}

TEST(ListingOrder, NamesMeetingBeyondTheFourthUnit) {
    NodeRecordList* list = MakeList<NodeRecord>({L"abcdz", L"ABCD", L"abcde", L"abc", L"abcdE", L"abcd\u00E9", L"abcc",
                                                 L"ab", L"ABCDEF"});
    ASSERT_TRUE(SortListing(list));
    std::vector<std::wstring> names;
    for (uint32_t i = 0; i < list->count; ++i) names.push_back(list->entries[i].name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"ab", L"abc", L"abcc", L"ABCD", L"abcde", L"abcdE", L"ABCDEF",
                                                L"abcdz", L"abcd\u00E9"}));
    FreeRecordList(list);
}

}  // namespace
