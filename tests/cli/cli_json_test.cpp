// analyze --json: its strings and times, and its records against the text listing of the same pair.
#include "cli/json_listing.h"
#include "tests/cli/cli_fixture.h"
#include "tests/cli/companion_output.h"
#include "tests/support/unix_side.h"

#include <algorithm>
#include <cwctype>

namespace {

// The value of the string field `key` of a record, read back as JSON defines it.
std::wstring StringField(const std::string& record, const std::string& key) {
    size_t at = record.find("\"" + key + "\":\"");
    if (at == std::string::npos) return L"<absent>";
    std::string bytes;
    std::wstring text;
    for (size_t i = at + key.size() + 4; i < record.size() && record[i] != '"'; ++i) {
        if (record[i] != '\\') {
            bytes += record[i];
            continue;
        }
        const char escaped = record[++i];
        if (escaped != 'u') {
            bytes += escaped;
            continue;
        }
        text += Wide(bytes);
        bytes.clear();
        text += static_cast<wchar_t>(std::stoul(record.substr(i + 1, 4), nullptr, 16));
        i += 4;
    }
    return text + Wide(bytes);
}

TEST(JsonTextTest, StringsAreEscapedAsJsonRequiresAndTimesAreUtcTo100Ns) {
    struct Case {
        std::wstring text;
        std::string json;
    } strings[] = {
        {L"plain.txt", "\"plain.txt\""},
        {L"say \"hi\"\\now", "\"say \\\"hi\\\"\\\\now\""},
        {L"\t\n\x01\x1f\x7f", "\"\\u0009\\u000a\\u0001\\u001f\x7f\""},
        {L"\u00e9t\u00e9 \U0001F600", "\"\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80\""},
        // Surrogates without their pair, which a name may hold, are kept as they are.
        {L"a\xD800z", "\"a\\ud800z\""},
        {L"z\xDC00", "\"z\\udc00\""},
        {L"\xDC00\xD800", "\"\\udc00\\ud800\""},
    };
    for (const Case& c : strings) {
        std::string json;
        cli::AppendJsonString(&json, c.text);
        EXPECT_EQ(json, c.json);
    }
    struct Time {
        uint64_t value;
        std::string json;
    } times[] = {
        {0, "\"1601-01-01T00:00:00.0000000Z\""},
        {kTime + 51234567, "\"2019-04-17T18:40:05.1234567Z\""},
        // Beyond what the system turns into a date, as a catalog writes it.
        {0x8000000000000000ull, "\"30828-09-14T02:48:05.4775808Z\""},
    };
    for (const Time& t : times) {
        std::string json;
        cli::AppendJsonTime(&json, FILETIME{static_cast<DWORD>(t.value), static_cast<DWORD>(t.value >> 32)});
        EXPECT_EQ(json, t.json);
    }
}

TEST_F(CliTest, JsonRecordsAreTheTextListingsItemsWithBothSides) {
    File(L"left\\same.txt");
    File(L"right\\SAME.TXT");
    File(L"left\\grown.txt", "a");
    File(L"right\\grown.txt", "abc");
    File(L"left\\newer.txt", "n", kTime + 51234567);
    File(L"right\\newer.txt", "n");
    File(L"left\\older.txt", "o");
    File(L"right\\older.txt", "o", kTime + 30000000);
    File(L"left\\only\\a.txt", "12");
    File(L"right\\b\\\u00e9t\u00e9\U0001F600.txt", "1234");
    SetLastWriteTime(m_left + L"only", kTime);
    SetLastWriteTime(m_right + L"b", kTime);
    // A tab and a quote, which only a Linux name holds; the scan makes such a name Unknown.
    const std::string folder = UnixPathOf(m_left);
    const bool odd = !folder.empty() && RunUnixShell("printf x > " + ShellQuote(folder + "q\"t\tx") +
                                                     " && touch -d @1555526400 " + ShellQuote(folder + "q\"t\tx")) == 0;

    const std::string at = "\"time\":\"2019-04-17T18:40:00.0000000Z\"";
    const std::string folderSide = "{\"kind\":\"folder\"," + at + "}";
    const auto fileSide = [&](int size, const std::string& time) {
        return "{\"kind\":\"file\",\"size\":" + std::to_string(size) + "," + time + "}";
    };
    const auto record = [](const char* state, const char* kind, const std::string& path, const std::string& left,
                           const std::string& right, const char* reason = nullptr) {
        return std::string("{\"state\":\"") + state + "\",\"kind\":\"" + kind + "\",\"path\":\"" + path +
               "\",\"left\":" + left + ",\"right\":" + right +
               (reason ? std::string(",\"reason\":\"") + reason + "\"" : std::string()) + "}\n";
    };
    const std::string expected =
        record("missing", "folder", "b", "null", folderSide) +
        record("missing", "file", "b\\\\" + Utf8(L"\u00e9t\u00e9\U0001F600") + ".txt", "null", fileSide(4, at)) +
        record("modified", "file", "grown.txt", fileSide(1, at), fileSide(3, at), "size") +
        record("modified", "file", "newer.txt", fileSide(1, "\"time\":\"2019-04-17T18:40:05.1234567Z\""),
               fileSide(1, at), "newer-left") +
        record("modified", "file", "older.txt", fileSide(1, at),
               fileSide(1, "\"time\":\"2019-04-17T18:40:03.0000000Z\""), "newer-right") +
        record("new", "folder", "only", folderSide, "null") +
        record("new", "file", "only\\\\a.txt", fileSide(2, at), "null") +
        (odd ? record("unknown", "file", "q\\\"t\\u0009x", fileSide(1, at), "null") : "") +
        record("identical", "file", "same.txt", fileSide(1, at), fileSide(1, at));
    CompanionRun all = Run({L"analyze", L"--json", L"--all", m_left, m_right});
    EXPECT_EQ(all.exitCode, 1u) << all.err;
    EXPECT_EQ(all.out, expected);

    // Without --all: the text listing's items, in its order, the identical one aside.
    CompanionRun text = Run({L"analyze", m_left, m_right});
    CompanionRun json = Run({L"analyze", L"--json", m_left, m_right});
    EXPECT_EQ(json.exitCode, text.exitCode);
    const std::vector<std::string> textLines = LinesOf(text.out);
    const std::vector<std::string> jsonLines = LinesOf(json.out);
    ASSERT_EQ(jsonLines.size(), textLines.size()) << json.out;
    ASSERT_EQ(jsonLines.size(), LinesOf(all.out).size() - 1);
    for (size_t i = 0; i < textLines.size(); ++i) {
        std::wstring state = StringField(jsonLines[i], "state");
        for (wchar_t& letter : state) letter = static_cast<wchar_t>(towupper(letter));
        EXPECT_EQ(Wide(textLines[i]),
                  state + L"\t" + StringField(jsonLines[i], "kind") + L"\t" + StringField(jsonLines[i], "path"));
    }
    // The summary stays where it was.
    EXPECT_EQ(json.err.substr(0, json.err.find("; elapsed")), text.err.substr(0, text.err.find("; elapsed")));

    // By content, a modified file differs in its content.
    CompanionRun content = Run({L"analyze", L"--json", L"--content", m_left, m_right});
    EXPECT_NE(content.out.find(record("modified", "file", "grown.txt", fileSide(1, at), fileSide(3, at), "content")),
              std::string::npos)
        << content.out;
    if (odd) RemoveUnixTree(m_left);
}

// Each record carries its own entries' figures, named by kind on each side, and
// --all --json lists every item that --all lists: case twins, each paired
// with its namesake, and a folder against a file with what the folder holds.
TEST_F(CliTest, JsonRecordsCarryEachSidesOwnEntryAndEveryItemTheFullListingHas) {
    const std::string left = UnixPathOf(m_left), right = UnixPathOf(m_right);
    ASSERT_FALSE(left.empty() || right.empty());
    const std::string stamp = " && touch -d @1555526400 ";
    ASSERT_EQ(RunUnixShell("cd " + ShellQuote(left) + " && printf 1 > X && printf 22 > x" + stamp + "X x && cd " +
                           ShellQuote(right) + " && printf 333 > X && printf 4444 > x" + stamp + "X x"),
              0);
    File(L"left\\mixed", "55555");
    File(L"right\\mixed\\inner.txt", "666666");
    File(L"left\\other\\o.txt", "7");
    File(L"right\\other", "88");
    for (const wchar_t* folder : {L"right\\mixed", L"left\\other"}) SetLastWriteTime(m_folder.PathOf(folder), kTime);

    const std::string at = "\"time\":\"2019-04-17T18:40:00.0000000Z\"";
    const auto side = [&](const char* kind, const char* size) {
        if (!kind) return std::string("null");
        return std::string("{\"kind\":\"") + kind + "\"," + (size ? std::string("\"size\":") + size + "," : "") + at +
               "}";
    };
    struct Row {
        const char* path;
        const char* kind;
        const char* leftKind;
        const char* leftSize;
        const char* rightKind;
        const char* rightSize;
    } rows[] = {
        {"X", "file", "file", "1", "file", "3"},
        {"mixed", "file", "file", "5", "folder", nullptr},
        {"mixed\\\\inner.txt", "file", nullptr, nullptr, "file", "6"},
        {"other", "folder", "folder", nullptr, "file", "2"},
        {"other\\\\o.txt", "file", "file", "1", nullptr, nullptr},
        {"x", "file", "file", "2", "file", "4"},
    };
    std::string expected;
    for (const Row& row : rows)
        expected += std::string("{\"state\":\"unknown\",\"kind\":\"") + row.kind + "\",\"path\":\"" + row.path +
                    "\",\"left\":" + side(row.leftKind, row.leftSize) +
                    ",\"right\":" + side(row.rightKind, row.rightSize) + "}\n";
    CompanionRun json = Run({L"analyze", L"--json", L"--all", m_left, m_right});
    EXPECT_EQ(json.out, expected);

    // The same items as the full text listing, which lists each side's on a line of its own.
    CompanionRun text = Run({L"analyze", L"--all", m_left, m_right});
    std::vector<std::wstring> listed;
    for (const std::string& line : LinesOf(text.out)) {
        const std::wstring path = Wide(line.substr(line.rfind('\t') + 1));
        if (std::find(listed.begin(), listed.end(), path) == listed.end()) listed.push_back(path);
    }
    std::vector<std::wstring> recorded;
    for (const std::string& line : LinesOf(json.out)) recorded.push_back(StringField(line, "path"));
    std::sort(listed.begin(), listed.end());
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(recorded, listed);
    RemoveUnixTree(m_left);
    RemoveUnixTree(m_right);
}

}  // namespace
