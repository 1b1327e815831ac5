#include "child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <csignal>
#include <thread>

extern char** environ;

namespace {

bool endsWith(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

ChildProcess startChild(const std::vector<std::string>& argv, const char* outputPath) {
  std::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {};
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  if (outputPath) {
    posix_spawn_file_actions_addopen(&actions, 1, outputPath, O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  }
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  ChildProcess child;
  if (posix_spawnp(&child.pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
  }
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  child.input = in[1];
  child.output = out[0];
  child.errors = err[0];
  return child;
}

bool sendInput(const ChildProcess& child, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = write(child.input, text.data(), text.size());
    if (count <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

void closeInput(ChildProcess& child) { closeFd(child.input); }

std::string readOutput(ChildProcess& child, std::initializer_list<std::string_view> endings,
                       int seconds) {
  std::string text;
  char buffer[4096];
  pollfd ready{child.output, POLLIN, 0};
  while (poll(&ready, 1, seconds * 1000) > 0) {
    const ssize_t count = read(child.output, buffer, sizeof buffer);
    if (count <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(count));
    for (const auto ending : endings) {
      if (endsWith(text, ending)) return text;
    }
  }
  ADD_FAILURE() << "no output for " << seconds << " s after: " << text;
  kill(child.pid, SIGKILL);
  return text;
}

long peakMemoryKiB(const ChildProcess& child) {
  std::ifstream status("/proc/" + std::to_string(child.pid) + "/status");
  std::string key;
  while (status >> key) {
    long value = -1;
    if (key == "VmHWM:" && status >> value) return value;
    status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  return -1;
}

ChildExit waitChild(ChildProcess& child, int seconds) {
  ChildExit exit;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (waitpid(child.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "still running after " << seconds << " s";
      kill(child.pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  exit.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  char buffer[4096];
  pollfd ready{child.errors, POLLIN, 0};
  while (poll(&ready, 1, 1000) > 0) {
    const ssize_t count = read(child.errors, buffer, sizeof buffer);
    if (count <= 0) break;
    exit.errors.append(buffer, static_cast<std::size_t>(count));
  }
  closeFd(child.input);
  closeFd(child.output);
  closeFd(child.errors);
  return exit;
}
