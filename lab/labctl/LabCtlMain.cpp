#include "CommandLine.h"
#include "LabCtl.h"

#include <cstdio>

int main() {
  std::string out;
  int code = lab::LabCtl::run(lab::CommandLine::current().arguments(), out);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return code;
}
