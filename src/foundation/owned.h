// One owning pointer for every create/free pair: `Owned<T, x_free>` is a
// std::unique_ptr whose deleter calls x_free. Each header declares its alias
// beside its free function (e.g. `using RegexPtr = Owned<Regex, regex_free>;`)
// so a call site never frees by hand and never writes a deleter of its own.
#pragma once

#include <memory>

template <auto FreeFn>
struct FreeWith {
  template <typename T>
  void operator()(T* object) const noexcept {
    (void)FreeFn(object);  // a close result has no one left to act on it
  }
};

template <typename T, auto FreeFn>
using Owned = std::unique_ptr<T, FreeWith<FreeFn>>;
