#include "WindowsErrorText.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The system's own text for a code, asked independently of the helper.
std::string formatMessage(DWORD code)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                       nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL), reinterpret_cast<char*>(&text), 0,
                       nullptr);
    std::string result = length ? std::string(text, length) : std::string();
    LocalFree(text);
    return result;
}

class WindowsErrorText : public testing::TestWithParam<DWORD> {};

TEST_P(WindowsErrorText, IsTheSystemTextOnOneLineWithTheCodeOrTheBareCode)
{
    const DWORD code = GetParam();
    const std::string system = formatMessage(code);
    std::string expected;
    if (system.empty()) {
        expected = "Windows error code " + std::to_string(code);
    } else {
        expected = system + " (" + std::to_string(code) + ")";
        std::replace(expected.begin(), expected.end(), '\r', ' ');
        std::replace(expected.begin(), expected.end(), '\n', ' ');
    }
    const std::string text = windowsErrorText(code);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Codes, WindowsErrorText,
                         testing::Values(ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SERVICE_EXISTS,
                                         ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, ERROR_MORE_DATA, 603, 0x2000ffffu));

TEST(WindowsErrorTextWithoutSystemText, NamesTheCode)
{
    ASSERT_TRUE(formatMessage(0x2000ffffu).empty());
    EXPECT_EQ(windowsErrorText(0x2000ffffu), "Windows error code 536936447");
}

} // namespace
