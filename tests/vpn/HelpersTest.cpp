#include "LibraryMutexes.h"
#include "StringConversion.h"
#include "VPN.h"
#include "WindowsError.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

std::string messageOf(const char* what, DWORD code, DWORD accepted = 0)
{
    try {
        checkWindowsError(what, code, accepted);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

// The system's own text, asked for independently of the code under test.
std::string systemText(DWORD code)
{
    char buffer[1024] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL), buffer, sizeof buffer, nullptr);
    return std::string(buffer, length);
}

TEST(CheckWindowsError, ReturnsForTheAcceptedCodeOnly)
{
    EXPECT_EQ(messageOf("RasSetEntryProperties", 0), "(no error)");
    EXPECT_EQ(messageOf("RasGetEntryProperties", 603, 603), "(no error)");
    EXPECT_NE(messageOf("RasGetEntryProperties", 0, 603), "(no error)") << "success where 603 is expected is an error";
}

TEST(CheckWindowsError, PutsTheCodeBeforeTheSystemTextOnOneLine)
{
    for (DWORD code : {2u, 5u, 87u, 122u}) {
        const std::string text = systemText(code);
        ASSERT_FALSE(text.empty()) << code;
        std::string expected = "GetIfTable get data: " + std::to_string(code) + " " + text;
        for (char& c : expected)
            if (c == '\r' || c == '\n')
                c = ' ';
        const std::string message = messageOf("GetIfTable get data", code);
        EXPECT_EQ(message, expected);
        EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos);
    }
}

TEST(CheckWindowsError, NamesTheCodeWhenTheSystemHasNoText)
{
    constexpr DWORD code = 0x8032000D; // a filtering platform code, printed unsigned
    const std::string message = messageOf("FwpmFilterAdd0 block IPv6", code);
    if (systemText(code).empty())
        EXPECT_EQ(message, "FwpmFilterAdd0 block IPv6: Windows error code 2150760461");
    else
        EXPECT_EQ(message.rfind("FwpmFilterAdd0 block IPv6: 2150760461 ", 0), 0u) << message;
}

struct ConversionCase {
    const char* utf8;
    const wchar_t* wide;
};

class Conversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, RoundTrips)
{
    EXPECT_EQ(toWide(GetParam().utf8), GetParam().wide);
    EXPECT_EQ(toUtf8(GetParam().wide), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Texts, Conversion,
                         testing::Values(ConversionCase{"", L""}, ConversionCase{"Zerav VPN", L"Zerav VPN"},
                                         ConversionCase{"Gr\xC3\xBC\xC3\x9F" "e", L"Gr\u00FC\u00DFe"},
                                         ConversionCase{"\xE6\x9D\xB1\xE4\xBA\xAC", L"\u6771\u4EAC"},
                                         ConversionCase{"\xF0\x9F\x94\x92 vpn", L"\U0001F512 vpn"}),
                         [](const testing::TestParamInfo<ConversionCase>& info) {
                             return "text" + std::to_string(info.index);
                         });

TEST(ConversionErrors, RefusesBytesThatAreNotUtf8)
{
    for (const char* bad : {"\xFF", "abc\xC3", "\xC0\xAF", "pass\xE9word"})
        EXPECT_THROW(toWide(bad), std::runtime_error) << bad;
}

TEST(ConversionErrors, KeepsEmbeddedNulsAndReplacesLoneSurrogates)
{
    EXPECT_EQ(toWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(ErrorQueue, CutsBetweenCharactersAndKeepsWhatCannotBeCut)
{
    ASSERT_TRUE(createLibraryMutexes());
    VPN& vpn = VPN::instance();
    vpn.pushError("\xC3\xA9t\xC3\xA9");
    vpn.pushError("second");
    std::string text;
    EXPECT_FALSE(vpn.popError(text, 1)) << "half a character is no text";
    EXPECT_TRUE(vpn.popError(text, 4));
    EXPECT_EQ(text, "\xC3\xA9t") << "the cut falls before the last character, not inside it";
    EXPECT_TRUE(vpn.popError(text, 100));
    EXPECT_EQ(text, "second");
    EXPECT_FALSE(vpn.popError(text, 100));
}

} // namespace
