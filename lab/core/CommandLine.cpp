#include "CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

namespace lab {

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* block) const { LocalFree(block); }
};

// The program name ends at the closing quote when it starts with one, else
// at the first blank; the blanks after it are not part of the arguments.
size_t tailStart(const std::wstring& line) {
  size_t end = line.empty() || line[0] != L'"' ? line.find_first_of(L" \t") : line.find(L'"', 1);
  if (end == std::wstring::npos) return line.size();
  if (line[end] == L'"') ++end;
  size_t start = line.find_first_not_of(L" \t", end);
  return start == std::wstring::npos ? line.size() : start;
}

}  // namespace

CommandLine CommandLine::current() { return CommandLine(GetCommandLineW()); }

CommandLine::CommandLine(const std::wstring& line) : tail_(line.substr(tailStart(line))) {
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> split(CommandLineToArgvW(line.c_str(), &count));
  if (!split) return;
  for (int i = 1; i < count; ++i) arguments_.emplace_back(split.get()[i]);
}

}  // namespace lab
