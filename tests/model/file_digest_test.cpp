// File digests by both means, the processor's SHA instructions and the
// system's SHA-256: the standard test vectors, the lengths where the padding
// takes one more block and the sizes around a read, each written to a file and
// digested. A processor without SHA instructions runs the system's means alone.
#include "model/file_digest.h"
#include "model/memory.h"
#include "model/sha256.h"
#include "model/text.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Pattern(size_t length) {
    std::string bytes(length, '\0');
    for (size_t index = 0; index < length; ++index) bytes[index] = static_cast<char>(index % 251);
    return bytes;
}

std::string Hex(const FileDigest& digest) {
    char text[2 * kDigestBytes + 1] = {};
    char* out = text;
    for (BYTE byte : digest.bytes) out = WriteHexDigits(out, byte, 2, false);
    return text;
}

enum Means { ByProcessor, BySystem };

class FileDigestTest : public testing::TestWithParam<Means> {
protected:
    void SetUp() override {
        if (GetParam() == ByProcessor && !ProcessorHasShaInstructions())
            GTEST_SKIP() << "this processor has no SHA instructions";
        ForceSystemSha256(GetParam() == BySystem);
        m_baseline = MemOutstanding();
        ASSERT_EQ(OpenFileDigester(&m_digester), 0u);
        ASSERT_EQ(m_digester.byProcessor, GetParam() == ByProcessor);
    }
    void TearDown() override {
        CloseFileDigester(&m_digester);
        ForceSystemSha256(false);
        EXPECT_EQ(MemOutstanding(), m_baseline) << "blocks leaked";
    }

    TempFolder m_folder;
    FileDigester m_digester = {};
    long m_baseline = 0;
};

const uint64_t kListedAsIs = UINT64_MAX;
const size_t kMiB = 1u << 20;
static_assert(kDigestReadBytes == kMiB, "the rows around a read follow its size");

TEST_P(FileDigestTest, FilesGiveTheirStandardDigestWhateverSizeTheyWereListedWith) {
    struct Row {
        std::string content;
        const char* digest;
        uint64_t listedSize;
    } rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", kListedAsIs},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", kListedAsIs},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", kListedAsIs},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1", kListedAsIs},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", kListedAsIs},
        {Pattern(1), "6e340b9cffb37a989ca544e6bb780a2c78901d3fb33738768511a30617afa01d", kListedAsIs},
        // The length fits after the one bit up to 55 bytes of a block; from 56, in one more block.
        {Pattern(55), "463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59", kListedAsIs},
        {Pattern(56), "da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562", kListedAsIs},
        {Pattern(63), "29af2686fd53374a36b0846694cc342177e428d1647515f078784d69cdb9e488", kListedAsIs},
        {Pattern(64), "fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108", kListedAsIs},
        {Pattern(65), "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781", kListedAsIs},
        {Pattern(119), "da18797ed7c3a777f0847f429724a2d8cd5138e6ed2895c3fa1a6d39d18f7ec6", kListedAsIs},
        {Pattern(120), "f52b23db1fbb6ded89ef42a23ce0c8922c45f25c50b568a93bf1c075420bbb7c", kListedAsIs},
        // Around one read, and over several, each read while the one before is digested.
        {Pattern(kMiB - 1), "8b55c6a2d3444092a316985030e00c1e6f8608eaf912c896dee7c374d440ed11", kListedAsIs},
        {Pattern(kMiB), "631b84027d6b9e52b539c4e8373622d23032dfadc64d60af87339c9037e4f769", kListedAsIs},
        {Pattern(kMiB + 1), "5769f52bc3eef28afa39c6fc68cadb7d0bd69812ae3a3d71452f519ec3c7aa56", kListedAsIs},
        {Pattern(3 * kMiB + 5), "b01669d77761c4dfdfc8fb927821087bcf5c9ef1f917c4f1f8504e529f19edab", kListedAsIs},
        // Grown or shrunk since it was listed: read to its end all the same.
        {Pattern(kMiB + 1), "5769f52bc3eef28afa39c6fc68cadb7d0bd69812ae3a3d71452f519ec3c7aa56", 0},
        {Pattern(65), "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781", 3 * kMiB},
    };
    for (const Row& row : rows) {
        const std::wstring path = m_folder.MakeFile(L"file", row.content);
        const uint64_t listed = row.listedSize == kListedAsIs ? row.content.size() : row.listedSize;
        FileDigest digest = {};
        uint64_t bytesRead = 7;
        ASSERT_EQ(DigestFile(&m_digester, path.c_str(), listed, nullptr, &digest, &bytesRead), 0u);
        EXPECT_EQ(Hex(digest), row.digest) << row.content.size() << " bytes listed as " << listed;
        EXPECT_EQ(bytesRead, 7 + row.content.size());
    }
}

// A digest stands for the whole file or for nothing, and nothing stays held.
TEST_P(FileDigestTest, AFileNotReadWholeHasNoDigest) {
    const std::wstring path = m_folder.MakeFile(L"file", Pattern(2 * kMiB));
    const volatile LONG cancelled = 1;
    struct Row {
        std::wstring path;
        const volatile LONG* cancelRequested;
        DWORD status;
    } rows[] = {
        {path, &cancelled, ERROR_CANCELLED},
        {m_folder.PathOf(L"missing"), nullptr, ERROR_FILE_NOT_FOUND},
        {m_folder.Path(), nullptr, ERROR_ACCESS_DENIED},  // a folder
    };
    for (const Row& row : rows) {
        uint64_t bytesRead = 0;
        FileDigest digest = {};
        EXPECT_EQ(DigestFile(&m_digester, row.path.c_str(), 2 * kMiB, row.cancelRequested, &digest, &bytesRead),
                  row.status);
        EXPECT_EQ(bytesRead, 0u);
    }
    CloseFileDigester(&m_digester);
    DWORD status = ERROR_NOT_ENOUGH_MEMORY;
    for (long allowed = 0; status == ERROR_NOT_ENOUGH_MEMORY; ++allowed) {
        MemFailAfter(allowed);
        status = OpenFileDigester(&m_digester);
        MemFailAfter(-1);
        if (status != ERROR_SUCCESS) EXPECT_EQ(MemOutstanding(), m_baseline) << "allocation " << allowed;
    }
    EXPECT_EQ(status, 0u);
}

INSTANTIATE_TEST_SUITE_P(BothMeans, FileDigestTest, testing::Values(ByProcessor, BySystem),
                         [](const testing::TestParamInfo<Means>& info) {
                             return std::string(info.param == ByProcessor ? "ProcessorSha" : "SystemSha256");
                         });

}  // namespace
