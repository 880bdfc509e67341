// The lab's certutil: changes the lab root store and records every command
// line it was started with, so tests can see exactly what was asked.

#include "CommandLine.h"
#include "RootStoreCommand.h"
#include "StateStore.h"

#include <exception>

int main() {
  lab::CommandLine commandLine = lab::CommandLine::current();
  DWORD exitCode = lab::RootStoreCommand(commandLine.arguments()).run();
  try {
    lab::StateStore::update([&](lab::LabState& state) {
      state.data.certutilRuns.push_back({commandLine.tail(), exitCode});
    });
  } catch (const std::exception&) {
    return static_cast<int>(E_FAIL);
  }
  return static_cast<int>(exitCode);
}
