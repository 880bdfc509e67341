#pragma once

#include <string>

namespace lab {

// Where the machine-wide lab files live: a folder under ProgramData, the
// same for user processes and services of the prefix.
class LabPaths {
 public:
  static std::wstring directory();
  static std::wstring stateFile();
  static std::wstring lockFile();
  static std::wstring serverDirectoryFile();
};

}  // namespace lab
