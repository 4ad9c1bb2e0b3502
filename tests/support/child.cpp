#include "tests/support/child.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace ztr::test {
namespace {

std::map<std::string, std::function<int()>>& registry() {
  static std::map<std::string, std::function<int()>> r;
  return r;
}

constexpr const char* kChildFlag = "--ztr-child";

// The test binary's own path, resolved once (valgrind intercepts this lookup and gives the
// client's path, so children run under valgrind too).
const std::string& self_path() {
  static const std::string path = [] {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string("/proc/self/exe");
  }();
  return path;
}

// Variables that would change what a child sees if the parent's environment carried them.
bool library_variable(const char* entry) {
  static const char* const kPrefixes[] = {"ZTR_", "OMP_", "Q_MPI_", "GOMP_"};
  for (const char* p : kPrefixes)
    if (std::strncmp(entry, p, std::strlen(p)) == 0) return true;
  return false;
}

}  // namespace

ChildRegistration::ChildRegistration(const char* name, std::function<int()> fn) {
  registry()[name] = std::move(fn);
}

void maybe_run_child(int argc, char** argv) {
  self_path();
  if (argc < 3 || std::strcmp(argv[1], kChildFlag) != 0) return;
  const auto it = registry().find(argv[2]);
  if (it == registry().end()) std::printf("no child named %s\n", argv[2]);
  const int code = it == registry().end() ? 99 : it->second();
  std::fflush(nullptr);
  std::exit(code);
}

ChildResult run_child(const std::string& name, const std::vector<std::string>& env) {
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e)
    if (!library_variable(*e)) entries.emplace_back(*e);
  entries.insert(entries.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (auto& s : entries) envp.push_back(s.data());
  envp.push_back(nullptr);

  const std::string exe = self_path();
  int pipefd[2];
  if (pipe(pipefd) != 0) return {"pipe failed", -1};
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], STDOUT_FILENO);
    close(pipefd[0]);
    close(pipefd[1]);
    std::string flag = kChildFlag;
    char* argv[] = {const_cast<char*>("child"), flag.data(), const_cast<char*>(name.c_str()),
                    nullptr};
    execve(exe.c_str(), argv, envp.data());
    std::_Exit(98);
  }
  close(pipefd[1]);
  ChildResult result{"", -1};
  char buf[4096];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0) result.out.append(buf, static_cast<size_t>(n));
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace ztr::test
