// The exports as linked into the test program from the core library.
#include "jobs/api.h"

namespace telvarn::test {

const Api& ExportsUnderTest() {
  static const Api api = [] {
    Api exports{};
    BindLinkedExports(exports);
    return exports;
  }();
  return api;
}

}  // namespace telvarn::test
