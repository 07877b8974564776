// talvenor-pack try, the processes: programs found on PATH, each started in a process
// group of its own (with pipes when asked), waited for with a time limit, and ended
// with its group, every one of them when the run stops.
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tvpack {

// A child process in a process group of its own, with pipes when asked.
struct Child {
  pid_t pid = -1;
  int in = -1, out = -1;  // its standard input and output, or -1
};

// Whether p names a file this user may execute.
bool executable(const std::filesystem::path& p);
// The program name found in PATH's folders; "" when none.
std::filesystem::path on_path(const std::string& name);
// The first line a program prints within 20 s (version queries); it is then ended.
// Throws Interrupted when a stop signal arrives meanwhile.
std::string first_line_of(const std::vector<std::string>& argv);

// The processes a run started, and their ends.
class Processes {
 public:
  Processes() = default;
  Processes(const Processes&) = delete;
  Processes& operator=(const Processes&) = delete;

  // Starts argv[0] (a path) with env in a group of its own, its signals at their
  // defaults; standard input and output are pipes with pipes, else /dev/null.
  Child spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool pipes);
  // Waits for a child to end within seconds (then ends its group); its exit status.
  int wait(Child& child, int seconds);
  // Ends a child's group (SIGTERM, then SIGKILL) and closes its pipes.
  void end(Child& child);
  // Waits up to seconds for a child, whatever signal arrived, then ends its group.
  void reap(Child& child, int seconds);
  // Kills whatever is left of every group started.
  void kill_all();

 private:
  void forget(pid_t pid);
  std::vector<Child> children_;
};

}  // namespace tvpack
