// The Windows release the lab's rasapi32 plays is the one the calling
// process is told: Windows 7 and 8 refuse the 8.1 dial structure, and each
// release takes the entry layouts up to its own and names its own in the
// default entry's size query. A helper program asks, built as a program
// without a manifest (told Windows 8), with the Windows 10 manifest, and
// as one Wine is set to call Windows 7.

#include "LabTestSupport.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>
#include <raserror.h>

#include <map>
#include <optional>
#include <sstream>

namespace {

constexpr DWORD kPatienceMs = 60000;

struct ReleaseCase {
  const char* label;
  const wchar_t* helper;
  const char* told;
  DWORD entrySizeQuery;
  std::vector<DWORD> dialTaken;
  std::vector<DWORD> dialRefused;
  std::vector<DWORD> entryTaken;
  std::vector<DWORD> entryRefused;
};

const ReleaseCase kReleases[] = {
    {"windows7", L"lab_test_helper_win7.exe", "6.1", ras_layout::kRasEntrySizeW7, {2096, 2108, 2112}, {2120},
     {5616, 5656, 5680}, {6720, 6724}},
    {"windows8", L"lab_test_helper.exe", "6.2", ras_layout::kRasEntrySizeW8, {2096, 2108, 2112}, {2120},
     {5616, 5656, 5680, 6720}, {6724}},
    {"windows10", L"lab_test_helper_win10.exe", "10.0", ras_layout::kRasEntrySizeW81, {2096, 2108, 2112, 2120}, {},
     {5616, 5656, 5680, 6720, 6724}, {}},
};

void PrintTo(const ReleaseCase& c, std::ostream* out) { *out << c.label; }

// Wine tells a program the Windows version its AppDefaults key names; the
// key is the Windows 7 helper's own, so nothing else of the prefix changes.
void callWindows7(const std::wstring& program) {
  std::wstring key = L"Software\\Wine\\AppDefaults\\" + program;
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, L"win7", sizeof L"win7");
}

std::wstring joined(const std::vector<DWORD>& sizes) {
  std::wstring text;
  for (DWORD size : sizes) text += (text.empty() ? L"" : L",") + std::to_wstring(size);
  return text.empty() ? L"-" : text;
}

// Runs the helper with its output on a pipe; empty if it did not finish.
std::string runHelper(const std::wstring& program, const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
  lab::UniqueHandle reader(readEnd), writer(writeEnd);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
  std::wstring commandLine = L"\"" + labtest::besideTests(program) + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = writer.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    return {};
  CloseHandle(process.hThread);
  lab::UniqueHandle child(process.hProcess);
  writer.reset();
  // The few lines fit the pipe's buffer, so the helper finishes without a
  // reader; once it has, reading ends at the end of its output.
  if (WaitForSingleObject(child.get(), kPatienceMs) != WAIT_OBJECT_0) {
    TerminateProcess(child.get(), 1);
    return {};
  }
  std::string output;
  char chunk[512];
  DWORD read = 0;
  while (ReadFile(reader.get(), chunk, sizeof chunk, &read, nullptr) && read != 0) output.append(chunk, read);
  return output;
}

struct Answers {
  std::string told;
  DWORD entrySizeQuery = 0;
  std::map<DWORD, DWORD> dial;
  std::map<DWORD, DWORD> entry;
};

Answers parse(const std::string& output) {
  Answers answers;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string what;
    DWORD size = 0, result = 0;
    words >> what;
    if (what == "told") words >> answers.told;
    else if (what == "query") words >> answers.entrySizeQuery;
    else if (what == "dial" && words >> size >> result) answers.dial[size] = result;
    else if (what == "entry" && words >> size >> result) answers.entry[size] = result;
  }
  return answers;
}

std::optional<DWORD> answer(const std::map<DWORD, DWORD>& answers, DWORD size) {
  auto found = answers.find(size);
  return found == answers.end() ? std::nullopt : std::optional<DWORD>(found->second);
}

class TheToldRelease : public testing::TestWithParam<ReleaseCase> {};

TEST_P(TheToldRelease, DecidesTheStructureVersionsTaken) {
  const ReleaseCase& c = GetParam();
  callWindows7(L"lab_test_helper_win7.exe");
  std::vector<DWORD> dialSizes = c.dialTaken, entrySizes = c.entryTaken;
  dialSizes.insert(dialSizes.end(), c.dialRefused.begin(), c.dialRefused.end());
  entrySizes.insert(entrySizes.end(), c.entryRefused.begin(), c.entryRefused.end());
  std::string output;
  {
    labtest::ProcessHangUpDelay quickHangUps(0);
    output = runHelper(c.helper, L"sizes " + joined(dialSizes) + L" " + joined(entrySizes));
  }
  Answers answers = parse(output);
  ASSERT_EQ(answers.told, c.told) << output;

  EXPECT_EQ(answers.entrySizeQuery, c.entrySizeQuery);
  const std::optional<DWORD> taken = ERROR_SUCCESS, refused = ERROR_INVALID_SIZE;
  for (DWORD size : c.dialTaken) EXPECT_EQ(answer(answers.dial, size), taken) << "dial dwSize " << size;
  for (DWORD size : c.dialRefused) EXPECT_EQ(answer(answers.dial, size), refused) << "dial dwSize " << size;
  for (DWORD size : c.entryTaken) EXPECT_EQ(answer(answers.entry, size), taken) << "entry dwSize " << size;
  for (DWORD size : c.entryRefused) EXPECT_EQ(answer(answers.entry, size), refused) << "entry dwSize " << size;
}

INSTANTIATE_TEST_SUITE_P(Releases, TheToldRelease, testing::ValuesIn(kReleases),
                         [](const testing::TestParamInfo<ReleaseCase>& info) { return std::string(info.param.label); });

}  // namespace
