// The test build's hook for try (tests/pack builds talvenor-pack-test-hook with it;
// the shipped maker links no_test_hook.cpp): a shell command that TALVENOR_TRY_TEST_HOOK
// names, run while the finish dialog is up, to change what was installed before the
// check.
#include <cstdlib>

#include "try/sandbox.h"
#include "try/try.h"

namespace tvpack {

void add_test_hook(TryOptions* options) {
  const char* hook = std::getenv("TALVENOR_TRY_TEST_HOOK");
  if (hook == nullptr) return;
  std::string command = hook;
  options->before_check = [command](Sandbox& sandbox) { sandbox.run_hook(command); };
}

int Sandbox::run_hook(const std::string& command) {
  std::vector<std::string> env = environment();
  env.push_back("TALVENOR_TRY_DRIVE_C=" + (prefix() / "drive_c").string());
  env.push_back("TALVENOR_TRY_DRIVE_D=" + drive_d().string());
  Child hook = processes_.spawn({"/bin/sh", "-c", command}, env, false);
  return processes_.wait(hook, 60);
}

}  // namespace tvpack
