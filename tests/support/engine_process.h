// Runs the engine binary as a child process the way a chess interface
// does: commands go to its standard input, lines come back from its
// standard output, and every read has a deadline so that a hanging engine
// fails the test instead of blocking it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class EngineProcess {
 public:
  // directory, when given, is the engine's working directory.
  explicit EngineProcess(const std::vector<std::string>& arguments = {}, const char* binary = BRAKKEN_BINARY,
                         const char* directory = nullptr) {
    // A write to an engine that has died must fail, not kill the test.
    signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      if (directory && chdir(directory) != 0) _exit(126);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(binary));
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(binary, argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    toEngine_ = in[1];
    fromEngine_ = out[0];
    errors_ = err[0];
    fcntl(fromEngine_, F_SETFL, O_NONBLOCK);
    fcntl(errors_, F_SETFL, O_NONBLOCK);
  }

  ~EngineProcess() {
    closeInput();
    if (pid_ > 0 && waitExit(5000) == -1) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fromEngine_ >= 0) close(fromEngine_);
    if (errors_ >= 0) close(errors_);
  }

  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  bool started() const { return pid_ > 0; }

  // Ends the engine at once, as a user stops a command that never returns.
  void killNow() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    exitStatus_ = -2;
  }

  // Sends the bytes as they are; false when the engine no longer reads.
  bool sendRaw(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(toEngine_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }

  bool send(const std::string& line) { return sendRaw(line + "\n"); }

  void closeInput() {
    if (toEngine_ >= 0) close(toEngine_);
    toEngine_ = -1;
  }

  // The next line of standard output without its line end, or nothing
  // when none arrives within the time or the output has ended.
  std::optional<std::string> readLine(int timeoutMs = 10000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      if (outputClosed_) return std::nullopt;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return std::nullopt;
      pump(int(left));
    }
  }

  // Lines up to and including the first that begins with prefix; found
  // tells whether it came within the time.
  std::vector<std::string> readUntil(const std::string& prefix, bool& found, int timeoutMs = 10000) {
    std::vector<std::string> lines;
    found = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return lines;
      std::optional<std::string> line = readLine(int(left));
      if (!line) return lines;
      lines.push_back(*line);
      if (line->compare(0, prefix.size(), prefix) == 0) {
        found = true;
        return lines;
      }
    }
  }

  // Every line that arrives until the output has been quiet for quietMs.
  std::vector<std::string> drain(int quietMs) {
    std::vector<std::string> lines;
    while (std::optional<std::string> line = readLine(quietMs)) lines.push_back(*line);
    return lines;
  }

  // Waits for the engine to end; its exit status, or -1 when it is still
  // running after the time (or ended by a signal: -2).
  int waitExit(int timeoutMs = 10000) {
    if (exitStatus_ != -1) return exitStatus_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        pid_ = -1;
        pump(0);
        return exitStatus_;
      }
      if (Clock::now() >= deadline) return -1;
      pump(20);
    }
  }

  // What the engine wrote to standard error so far.
  const std::string& errorText() {
    pump(0);
    return errorText_;
  }

 private:
  using Clock = std::chrono::steady_clock;

  // Reads whatever both outputs offer, waiting at most timeoutMs.
  void pump(int timeoutMs) {
    pollfd fds[2] = {{outputClosed_ ? -1 : fromEngine_, POLLIN, 0}, {errorsClosed_ ? -1 : errors_, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) return;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) (i == 0 ? pending_ : errorText_).append(buffer, size_t(n));
      else if (n == 0) (i == 0 ? outputClosed_ : errorsClosed_) = true;
    }
  }

  pid_t pid_ = -1;
  int toEngine_ = -1;
  int fromEngine_ = -1;
  int errors_ = -1;
  int exitStatus_ = -1;
  bool outputClosed_ = false;
  bool errorsClosed_ = false;
  std::string pending_;
  std::string errorText_;
};

}  // namespace testsupport
