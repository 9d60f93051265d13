#include "TestModuleDriver.h"

namespace brx_test_module {

int RunProcessingVerbs(const std::vector<std::wstring>& arguments) {
  (void)arguments;
  return kNotMyVerb;
}

}  // namespace brx_test_module
