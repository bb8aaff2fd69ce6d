// The two shipped programs as Windows sees them: their version resources, their
// manifests, their icon and the version the About box shows, read from the
// executables built beside this test program.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "quillmar_version.h"
#include "res/resource.h"
#include "tests/support/companion.h"

namespace {

const wchar_t* const kPrograms[] = {L"quillmar.exe", L"quillmar-cli.exe"};

std::wstring Wide(const char* text) {
    std::wstring wide;
    for (; *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

// An executable loaded for its resources only; nothing of it runs.
class ResourceImage {
public:
    explicit ResourceImage(const std::wstring& path)
        : m_module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceImage() {
        if (m_module) FreeLibrary(m_module);
    }
    ResourceImage(const ResourceImage&) = delete;
    ResourceImage& operator=(const ResourceImage&) = delete;
    HMODULE get() const { return m_module; }

    // The bytes of one resource; empty when it is not there.
    std::string Bytes(const wchar_t* type, const wchar_t* name) const {
        HRSRC found = FindResourceW(m_module, name, type);
        if (!found) return {};
        const char* data = static_cast<const char*>(LockResource(LoadResource(m_module, found)));
        return data ? std::string(data, SizeofResource(m_module, found)) : std::string();
    }

private:
    HMODULE m_module;
};

class VersionInfo {
public:
    explicit VersionInfo(const std::wstring& path) {
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
        m_block.resize(size);
        if (size && !GetFileVersionInfoW(path.c_str(), 0, size, m_block.data())) m_block.clear();
    }
    bool Present() const { return !m_block.empty(); }
    const VS_FIXEDFILEINFO* Fixed() const {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(m_block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }
    std::wstring Text(const std::wstring& name) const {
        void* value = nullptr;
        UINT length = 0;
        std::wstring key = L"\\StringFileInfo\\040904b0\\" + name;
        if (!VerQueryValueW(m_block.data(), key.c_str(), &value, &length) || !length) return L"<missing>";
        return static_cast<const wchar_t*>(value);
    }

private:
    std::vector<BYTE> m_block;
};

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(ShippedPrograms, CarryTheProjectVersionProductAndMakerInTheirVersionResource) {
    for (const wchar_t* program : kPrograms) {
        SCOPED_TRACE(Utf8(program));
        VersionInfo info(ProgramFolder() + program);
        ASSERT_TRUE(info.Present());
        const VS_FIXEDFILEINFO* fixed = info.Fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(QUILLMAR_VERSION_MINOR, QUILLMAR_VERSION_MAJOR)));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(QUILLMAR_VERSION_BUILD, QUILLMAR_VERSION_PATCH)));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        EXPECT_EQ(info.Text(L"ProductName"), L"Quillmar");
        EXPECT_EQ(info.Text(L"CompanyName"), L"Brennock");
        EXPECT_EQ(info.Text(L"FileVersion"), Wide(QUILLMAR_VERSION_TEXT));
        EXPECT_EQ(info.Text(L"ProductVersion"), Wide(QUILLMAR_VERSION_TEXT));
        EXPECT_EQ(info.Text(L"OriginalFilename"), program);
        EXPECT_NE(info.Text(L"LegalCopyright").find(L"Brennock"), std::wstring::npos);
        EXPECT_NE(info.Text(L"FileDescription"), L"<missing>");
    }
}

// The system builds an activation context from the manifest when it starts a
// program and refuses to start it when the manifest does not parse.
TEST(ShippedPrograms, HaveAManifestTheSystemAcceptsDeclaringDpiAwarenessAndTheVersion) {
    for (const wchar_t* program : kPrograms) {
        SCOPED_TRACE(Utf8(program));
        std::wstring path = ProgramFolder() + program;
        ACTCTXW context = {};
        context.cbSize = sizeof(context);
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = path.c_str();
        context.lpResourceName = MAKEINTRESOURCEW(1);
        HANDLE activation = CreateActCtxW(&context);
        EXPECT_NE(activation, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        if (activation != INVALID_HANDLE_VALUE) ReleaseActCtx(activation);

        ResourceImage image(path);
        ASSERT_NE(image.get(), nullptr);
        std::string manifest = image.Bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
        EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos) << manifest;
        EXPECT_NE(manifest.find(std::string("version=\"") + QUILLMAR_VERSION_TEXT + "\""), std::string::npos) << manifest;
        EXPECT_NE(manifest.find("asInvoker"), std::string::npos);
    }
    // The window program's link control exists only in version 6 of the common controls.
    ResourceImage window(ProgramFolder() + L"quillmar.exe");
    std::string manifest = window.Bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

TEST(ShippedPrograms, ApplicationIconHoldsADecodable256PixelImage) {
    for (const wchar_t* program : kPrograms) {
        SCOPED_TRACE(Utf8(program));
        ResourceImage image(ProgramFolder() + program);
        ASSERT_NE(image.get(), nullptr);
        std::string group = image.Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP));
        ASSERT_GE(group.size(), 6u);
        WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
        ASSERT_EQ(group.size(), 6 + count * sizeof(IconGroupEntry));
        std::vector<int> widths;
        WORD largest = 0;
        for (WORD i = 0; i < count; ++i) {
            const auto* entry = reinterpret_cast<const IconGroupEntry*>(group.data() + 6 + i * sizeof(IconGroupEntry));
            widths.push_back(entry->width ? entry->width : 256);
            if (!entry->width) largest = entry->id;
        }
        EXPECT_EQ(widths, (std::vector<int>{16, 24, 32, 48, 256}));
        ASSERT_NE(largest, 0);

        std::string bits = image.Bytes(RT_ICON, MAKEINTRESOURCEW(largest));
        ASSERT_FALSE(bits.empty());
        HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(bits.data()), static_cast<DWORD>(bits.size()),
                                              TRUE, 0x00030000, 256, 256, LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr);
        ICONINFO parts = {};
        ASSERT_TRUE(GetIconInfo(icon, &parts));
        BITMAP colour = {};
        GetObjectW(parts.hbmColor, sizeof(colour), &colour);
        EXPECT_EQ(colour.bmWidth, 256);
        EXPECT_EQ(colour.bmHeight, 256);
        DeleteObject(parts.hbmColor);
        DeleteObject(parts.hbmMask);
        DestroyIcon(icon);
    }
}

// The About box writes its version out in full; it must not fall behind the project's.
TEST(ShippedPrograms, AboutBoxShowsTheProjectVersion) {
    ResourceImage image(ProgramFolder() + L"quillmar.exe");
    ASSERT_NE(image.get(), nullptr);
    std::string dialog = image.Bytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUTBOX));
    ASSERT_FALSE(dialog.empty());
    std::wstring expected = L"Version " + Wide(QUILLMAR_VERSION_TEXT);
    std::string expectedBytes(reinterpret_cast<const char*>(expected.c_str()), (expected.size() + 1) * sizeof(wchar_t));
    EXPECT_NE(dialog.find(expectedBytes), std::string::npos);
}

}  // namespace
