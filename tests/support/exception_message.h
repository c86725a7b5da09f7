// The message of an expected exception, for tests that pin failure texts.
#pragma once

#include <string>

namespace tmby::fixtures {

// The message of the exception of class E that `f` raises, or "(no exception)".
template <class E, class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "(no exception)";
}

}  // namespace tmby::fixtures
