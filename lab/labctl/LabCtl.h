#pragma once

#include <string>
#include <vector>

namespace lab {

// labctl's commands; the program is a thin shell around this class so that
// tests can run the same commands in their own process.
class LabCtl {
 public:
  // Runs one command line (without the program name), writes its output to
  // `out` and returns the exit code.
  static int run(const std::vector<std::wstring>& arguments, std::string& out);

 private:
  static int show(const std::vector<std::wstring>& arguments, std::string& out);
  static int probe(const std::vector<std::wstring>& arguments, std::string& out);
  static int servers(const std::vector<std::wstring>& arguments, std::string& out);
  static int drop(const std::vector<std::wstring>& arguments, std::string& out);
  static int hangUpDelay(const std::vector<std::wstring>& arguments, std::string& out);
};

}  // namespace lab
