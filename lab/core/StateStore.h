#pragma once

#include "LabState.h"

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace lab {

// Every access to the lab state goes through here: under the state lock it
// loads the state, settles it, lets the caller read or change it, and writes
// it back when it changed.
class StateStore {
 public:
  static void modify(const std::function<void(LabState&)>& change);

  template <class Fn>
  static auto update(Fn&& fn) {
    using Result = decltype(fn(std::declval<LabState&>()));
    if constexpr (std::is_void_v<Result>) {
      modify(fn);
    } else {
      std::optional<Result> result;
      modify([&](LabState& state) { result.emplace(fn(state)); });
      return std::move(*result);
    }
  }

  static LabState read() {
    return update([](LabState& state) { return state; });
  }

  static ULONGLONG nowMs();
};

}  // namespace lab
