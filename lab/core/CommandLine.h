#pragma once

#include <string>
#include <vector>

namespace lab {

// The process's command line, split as the C runtime splits it, and the
// text after the program name exactly as it was passed.
class CommandLine {
 public:
  static CommandLine current();
  explicit CommandLine(const std::wstring& line);

  const std::vector<std::wstring>& arguments() const { return arguments_; }
  const std::wstring& tail() const { return tail_; }

 private:
  std::vector<std::wstring> arguments_;
  std::wstring tail_;
};

}  // namespace lab
