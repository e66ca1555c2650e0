// The exports of the module of this architecture, loaded once with LoadLibrary and found by name.
#include <stdexcept>

#include "jobs/api.h"

namespace telvarn::test {

const Api& ExportsUnderTest() {
  static const Api api = [] {
    Api exports{};
    std::string error;
    if (!LoadModuleExports(exports, error)) throw std::runtime_error(error);
    return exports;
  }();
  return api;
}

}  // namespace telvarn::test
