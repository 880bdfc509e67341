#include "RunningService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

enum class Field { Server, Entry, User, Password };

const std::string longText(10000, 'a');
// A lone continuation byte, a cut-off sequence, an overlong slash and an
// encoded surrogate: none of them is UTF-8.
const std::vector<std::string> notUtf8 = {"\x80", "ab\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xff\xfe"};

// Where a bad string is refused: by ZeravVPN_setConfig, before it is stored,
// or by the connect that would use it.
enum class RefusedBy { Config, Connect };

struct StringCase {
    std::string name;
    Field field;
    std::string value;
    std::vector<std::string> texts;
    RefusedBy refusedBy;
    // Whether the dialer was reached at all.
    bool dialed;
};

std::vector<StringCase> stringCases()
{
    std::vector<StringCase> cases = {
        {"EmptyServer", Field::Server, "", {windowsText("RasSetEntryProperties", ERROR_INVALID_PARAMETER)},
         RefusedBy::Connect, false},
        {"LongServer", Field::Server, longText, {"Server address is longer than 128 characters"}, RefusedBy::Connect,
         false},
        {"EmptyEntry", Field::Entry, "", {windowsText("RasSetEntryProperties", ERROR_INVALID_NAME)},
         RefusedBy::Connect, false},
        {"LongEntry", Field::Entry, longText, {"Entry name is longer than 256 characters"}, RefusedBy::Config, false},
        {"EmptyUser", Field::User, "", {"Timeout", windowsText("RasDial", 691)}, RefusedBy::Connect, true},
        {"LongUser", Field::User, longText, {"User name is longer than 256 characters"}, RefusedBy::Config, false},
        {"EmptyPassword", Field::Password, "", {"Timeout", windowsText("RasDial", 691)}, RefusedBy::Connect, true},
        {"LongPassword", Field::Password, longText, {"Password is longer than 256 characters"}, RefusedBy::Config,
         false},
    };
    // Each sequence is tried on one field, the last on the server address too.
    const char* names[] = {"Server", "Entry", "User", "Password", "Server"};
    const Field fields[] = {Field::Server, Field::Entry, Field::User, Field::Password, Field::Server};
    for (size_t i = 0; i < notUtf8.size(); ++i) {
        const RefusedBy refusedBy = fields[i] == Field::Server ? RefusedBy::Connect : RefusedBy::Config;
        cases.push_back({std::string("NotUtf8") + names[i] + std::to_string(i), fields[i], notUtf8[i],
                         {"Invalid UTF-8 text"}, refusedBy, false});
    }
    return cases;
}

void PrintTo(const StringCase& c, std::ostream* out)
{
    *out << c.name;
}

class BadStrings : public LabHost, public testing::WithParamInterface<StringCase> {};

// Every case would dial instant.vpn.lab as labuser but for the one field.
TEST_P(BadStrings, AreRefusedWithATextAndDialNothingElse)
{
    const StringCase& c = GetParam();
    std::string server = "instant.vpn.lab";
    std::string entry = "Zerav VPN";
    std::string user = "labuser";
    std::string password = labPassword;
    (c.field == Field::Server ? server : c.field == Field::Entry ? entry : c.field == Field::User ? user : password) =
        c.value;
    const bool stored = ZeravVPN_setConfig(entry.c_str(), user.c_str(), password.c_str(), "", "", 1500);
    EXPECT_EQ(stored, c.refusedBy == RefusedBy::Connect);
    if (stored) {
        EXPECT_FALSE(connect(server.c_str(), false));
    }
    EXPECT_EQ(vpnErrorTexts(), c.texts);
    const lab::Snapshot state = lab::snapshot();
    EXPECT_EQ(!state.dials.empty(), c.dialed);
    EXPECT_TRUE(labLeftovers(state).empty()) << describe(state);
}

INSTANTIATE_TEST_SUITE_P(Strings, BadStrings, testing::ValuesIn(stringCases()),
                         [](const testing::TestParamInfo<StringCase>& info) { return info.param.name; });

// Null pointers: a false result or a false callback, a text, no crash.
struct NullCase {
    const char* name;
    std::function<bool()> call;
    const char* text;
};

bool connectWithoutServer()
{
    const size_t before = CallbackTally::total();
    ZeravVPN_connect(nullptr, true, CallbackTally::callback);
    return CallbackTally::waitFor(before + 1, std::chrono::seconds(30)) && !CallbackTally::result(before);
}

// Without a callback the worker never starts: nothing is called back.
bool withoutCallback(const std::function<void()>& call)
{
    const size_t before = CallbackTally::total();
    call();
    Sleep(200);
    return CallbackTally::total() == before;
}

const NullCase nullCases[] = {
    {"ConnectServer", connectWithoutServer, "Null pointer passed as server address"},
    {"ConnectCallback",
     [] { return withoutCallback([] { ZeravVPN_connect("instant.vpn.lab", false, nullptr); }); },
     "Null pointer passed as result callback"},
    {"DisconnectCallback", [] { return withoutCallback([] { ZeravVPN_disconnect(nullptr); }); },
     "Null pointer passed as result callback"},
    {"LogPath", [] { return !ZeravVPN_initLogging(nullptr, 0, true); }, "Null pointer passed as log file path"},
    {"Entry", [] { return !ZeravVPN_setConfig(nullptr, "", "", "", "", 0); }, "Null pointer passed as entry name"},
    {"ServiceFile", [] { return !ZeravVPN_setConfig("", "", "", "", nullptr, 0); },
     "Null pointer passed as service file name"},
};

void PrintTo(const NullCase& c, std::ostream* out)
{
    *out << c.name;
}

class NullPointers : public LabHost, public testing::WithParamInterface<NullCase> {};

TEST_P(NullPointers, GetAFalseResultAndAText)
{
    const NullCase& c = GetParam();
    EXPECT_TRUE(c.call());
    EXPECT_EQ(vpnErrorTexts(), std::vector<std::string>{c.text});
    EXPECT_TRUE(labLeftovers(lab::snapshot()).empty());
}

INSTANTIATE_TEST_SUITE_P(Exports, NullPointers, testing::ValuesIn(nullCases),
                         [](const testing::TestParamInfo<NullCase>& info) { return info.param.name; });

// Log paths that cannot be written lose their records silently; the next
// good path gets them again.
class BadLogPaths : public LabHost, public testing::WithParamInterface<std::string> {};

TEST_P(BadLogPaths, LoseRecordsSilently)
{
    const std::string path = GetParam() == "long" ? directory.path() + "\\" + longText : directory.path() + GetParam();
    EXPECT_TRUE(ZeravVPN_initLogging(GetParam().empty() ? "" : path.c_str(), 0, true));
    EXPECT_FALSE(ZeravVPN_setConfig(nullptr, "", "", "", "", 0));
    EXPECT_TRUE(ZeravVPN_initLogging(hostLog.c_str(), 0, true));
    EXPECT_FALSE(ZeravVPN_setConfig("", nullptr, "", "", "", 0));
    EXPECT_EQ(vpnErrorTexts(), (std::vector<std::string>{"Null pointer passed as entry name",
                                                           "Null pointer passed as user name"}));
    const auto lines = logMessages(hostLog);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Exception: Null pointer passed as user name"), lines.end());
}

INSTANTIATE_TEST_SUITE_P(Paths, BadLogPaths, testing::Values("", "long", "\\missing\\host.log", "\\\xff\xfe\x80.log"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return std::to_string(info.index);
                         });

} // namespace
