// The engine's protocol objects in the test process, wired as the console
// driver wires them, with an output that keeps its lines instead of
// printing them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/uci_output.h"
#include "protocol/uci_protocol.h"
#include "search/search_controller.h"
#include "search/searcher.h"
#include "search/time_manager.h"

namespace testsupport {

// Keeps every line it would have printed.
template <class Base>
class Capturing : public Base {
 public:
  using Base::Base;

  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  // The lines written so far, which are then forgotten.
  std::vector<std::string> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.swap(lines_);
    return out;
  }
  int countStartingWith(const std::string& prefix) {
    int n = 0;
    for (const std::string& l : lines()) n += l.compare(0, prefix.size(), prefix) == 0;
    return n;
  }
  // Waits until a line beginning with prefix has been written.
  bool waitFor(const std::string& prefix, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (countStartingWith(prefix) > 0) return true;
      usleep(2000);
    }
    return false;
  }

 protected:
  void emit(const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(text);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

using CapturingUciOutput = Capturing<UciOutput>;

struct EngineObjects {
  explicit EngineObjects(bool hidden = false)
      : searcher(3 * 1048576),
        output(&searcher, &clock),
        controller(&searcher, &output, &clock),
        protocol(&searcher, &output, &controller, hidden) {
    searcher.setListener(&output);
  }
  ~EngineObjects() {
    output.setSilent(true);
    controller.setQuit();
    controller.stop();
    searcher.setListener(nullptr);
  }

  void line(const std::string& text) { protocol.handleLine(text.c_str()); }

  // Waits for the running search to end by itself; false when it is still
  // running after the time.
  bool waitIdle(int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (controller.isRunning()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      usleep(2000);
    }
    return true;
  }

  Searcher searcher;
  TimeManager clock;
  CapturingUciOutput output;
  SearchController controller;
  UciProtocol protocol;
};

}  // namespace testsupport
