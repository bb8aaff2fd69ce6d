// analyze --json: its strings and times, and its records against the text listing of the same pair.
#include "cli/json_listing.h"
#include "tests/cli/cli_fixture.h"
#include "tests/cli/companion_output.h"
#include "tests/support/unix_side.h"

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
        {0x8000000000000000ull, "null"},
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
    const std::string expected =
        "{\"state\":\"missing\",\"kind\":\"folder\",\"path\":\"b\",\"left\":null,\"right\":{" + at + "}}\n"
        "{\"state\":\"missing\",\"kind\":\"file\",\"path\":\"b\\\\" + Utf8(L"\u00e9t\u00e9\U0001F600") +
        ".txt\",\"left\":null,\"right\":{\"size\":4," + at + "}}\n"
        "{\"state\":\"modified\",\"kind\":\"file\",\"path\":\"grown.txt\",\"left\":{\"size\":1," + at +
        "},\"right\":{\"size\":3," + at + "},\"reason\":\"size\"}\n"
        "{\"state\":\"modified\",\"kind\":\"file\",\"path\":\"newer.txt\",\"left\":{\"size\":1,"
        "\"time\":\"2019-04-17T18:40:05.1234567Z\"},\"right\":{\"size\":1," + at + "},\"reason\":\"newer-left\"}\n"
        "{\"state\":\"modified\",\"kind\":\"file\",\"path\":\"older.txt\",\"left\":{\"size\":1," + at +
        "},\"right\":{\"size\":1,\"time\":\"2019-04-17T18:40:03.0000000Z\"},\"reason\":\"newer-right\"}\n"
        "{\"state\":\"new\",\"kind\":\"folder\",\"path\":\"only\",\"left\":{" + at + "},\"right\":null}\n"
        "{\"state\":\"new\",\"kind\":\"file\",\"path\":\"only\\\\a.txt\",\"left\":{\"size\":2," + at +
        "},\"right\":null}\n" +
        (odd ? "{\"state\":\"unknown\",\"kind\":\"file\",\"path\":\"q\\\"t\\u0009x\",\"left\":{\"size\":1," + at +
                   "},\"right\":null}\n"
             : "") +
        "{\"state\":\"identical\",\"kind\":\"file\",\"path\":\"same.txt\",\"left\":{\"size\":1," + at +
        "},\"right\":{\"size\":1," + at + "}}\n";
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
    EXPECT_NE(content.out.find("\"path\":\"grown.txt\",\"left\":{\"size\":1," + at + "},\"right\":{\"size\":3," + at +
                               "},\"reason\":\"content\"}\n"),
              std::string::npos)
        << content.out;
    if (odd) RemoveUnixTree(m_left);
}

}  // namespace
