// talvenor-pack try, the processes: programs found on PATH, each started in a process
// group of its own, with its signals at their defaults and pipes when asked; waited
// for with a time limit and ended with its whole group.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "try/line_wait.h"
#include "try/processes.h"
#include "try/signals.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tvpack {

bool executable(const fs::path& p) { return !p.empty() && access(p.c_str(), X_OK) == 0; }

fs::path on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string all = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t colon = all.find(':', start);
    std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty() && executable(fs::path(dir) / name)) return fs::path(dir) / name;
    if (colon == std::string::npos) return {};
    start = colon + 1;
  }
}

std::string first_line_of(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return "";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string text, line;
  LineWait got = LineWait::kEnded;
  if (rc == 0) {
    LineSource out;
    out.fd = fds[0];
    out.wake_fd = SignalGuard::wake_fd();
    out.limit = 4096;
    got = wait_for_line(out, std::chrono::steady_clock::now() + std::chrono::seconds(20), &text, &line);
  }
  close(fds[0]);
  if (rc == 0) {
    kill(pid, SIGKILL);  // one that does not end within the time
    waitpid(pid, nullptr, 0);
  }
  if (got == LineWait::kSignal) throw Interrupted();
  // A program that ends (or runs out of time) without a line feed: what it printed.
  return got == LineWait::kLine ? line : text;
}

Child Processes::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool pipes) {
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  if (pipes && (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0))
    throw std::runtime_error("cannot make a pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (pipes) {
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none, defaults;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigemptyset(&defaults);
  for (int s : kStopSignals) sigaddset(&defaults, s);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  Child child;
  int rc = posix_spawn(&child.pid, args[0], &actions, &attr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (pipes) {
    close(in[0]);
    close(out[1]);
    child.in = in[1];
    child.out = out[0];
  }
  if (rc != 0) {
    end(child);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }
  children_.push_back(child);
  return child;
}

int Processes::wait(Child& child, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(child.pid, &status, WNOHANG);
    if (r == child.pid) {
      forget(child.pid);
      child.pid = -1;
      end(child);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (r < 0 || std::chrono::steady_clock::now() > deadline) {
      end(child);
      return -1;
    }
    nap(50);
  }
}

void Processes::end(Child& child) {
  if (child.in >= 0) close(child.in);
  if (child.out >= 0) close(child.out);
  child.in = child.out = -1;
  if (child.pid <= 0) return;
  forget(child.pid);
  kill(-child.pid, SIGTERM);
  for (int i = 0; i < 40; ++i) {
    if (waitpid(child.pid, nullptr, WNOHANG) == child.pid) {
      kill(-child.pid, SIGKILL);
      child.pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(-child.pid, SIGKILL);
  waitpid(child.pid, nullptr, 0);
  child.pid = -1;
}

void Processes::reap(Child& child, int seconds) {
  for (int i = 0; i < seconds * 20 && waitpid(child.pid, nullptr, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(-child.pid, SIGKILL);
  waitpid(child.pid, nullptr, WNOHANG);
  forget(child.pid);
  child.pid = -1;
}

void Processes::forget(pid_t pid) {
  for (size_t i = 0; i < children_.size(); ++i)
    if (children_[i].pid == pid) children_.erase(children_.begin() + long(i));
}

void Processes::kill_all() {
  std::vector<Child> started = children_;
  for (Child& c : started) {
    if (c.pid > 0) kill(-c.pid, SIGKILL);
    if (c.pid > 0) waitpid(c.pid, nullptr, 0);
  }
  children_.clear();
}

}  // namespace tvpack
