// The version resource of every deliverable, read back the way Windows reads
// it for the file's properties and installers read it to compare versions.
// The expected values come from the project's CMake variables.

#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The deliverables lie in the build's bin folder, beside this program.
std::wstring deliverablePath(const std::wstring& name)
{
    std::vector<wchar_t> program(MAX_PATH);
    const DWORD length = GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    return (std::filesystem::path(std::wstring(program.data(), length)).parent_path() / name).wstring();
}

class VersionResourceTest : public testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override
    {
        const std::wstring path = deliverablePath(GetParam());
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version resource, error " << GetLastError();
        info_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info_.data())) << GetLastError();
    }

    const VS_FIXEDFILEINFO* fixedInfo()
    {
        void* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(info_.data(), L"\\", &value, &size) || size < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    // A text of the string table that the first translation entry names,
    // as Explorer picks it; empty when there is none.
    std::wstring text(const wchar_t* name)
    {
        struct Translation {
            WORD language;
            WORD codePage;
        };
        void* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(info_.data(), L"\\VarFileInfo\\Translation", &value, &size) || size < sizeof(Translation))
            return {};
        const auto* translation = static_cast<const Translation*>(value);
        wchar_t key[128];
        std::swprintf(key, sizeof key / sizeof key[0], L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                      translation->codePage, name);
        if (!VerQueryValueW(info_.data(), key, &value, &size) || size == 0)
            return {};
        return static_cast<const wchar_t*>(value);
    }

private:
    std::vector<BYTE> info_;
};

TEST_P(VersionResourceTest, NumbersAreTheProjectVersion)
{
    const VS_FIXEDFILEINFO* fixed = fixedInfo();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), EXPECTED_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), EXPECTED_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), EXPECTED_VERSION_PATCH);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    const bool library = std::filesystem::path(GetParam()).extension() == L".dll";
    EXPECT_EQ(fixed->dwFileType, library ? DWORD{VFT_DLL} : DWORD{VFT_APP});
}

TEST_P(VersionResourceTest, TextsNameTheProductTheVersionAndTheFile)
{
    EXPECT_EQ(text(L"FileVersion"), L"" EXPECTED_VERSION);
    EXPECT_EQ(text(L"ProductVersion"), L"" EXPECTED_VERSION);
    EXPECT_EQ(text(L"ProductName"), L"" EXPECTED_PRODUCT_NAME);
    EXPECT_EQ(text(L"CompanyName"), L"" EXPECTED_COMPANY_NAME);
    EXPECT_EQ(text(L"LegalCopyright"), L"" EXPECTED_COPYRIGHT);
    EXPECT_EQ(text(L"OriginalFilename"), GetParam());
    EXPECT_NE(text(L"FileDescription"), L"");
}

std::string testName(const testing::TestParamInfo<const wchar_t*>& info)
{
    std::string name;
    for (const wchar_t* c = info.param; *c; ++c)
        name += std::iswalnum(*c) ? static_cast<char>(*c) : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Deliverables, VersionResourceTest,
                         testing::Values(L"zerav_VPN.dll", L"zerav_VPN_service.exe", L"zerav_host.exe"), testName);

} // namespace
