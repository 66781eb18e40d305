// A thread inside a network namespace of the fuzzing process's own, for
// targets that need port 161 or broadcasts: it runs each input's work,
// handed over one at a time. Where namespaces cannot be made (no
// privileges), run() answers false and the target skips its inputs.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "netns.h"

namespace morva::fuzz {

class NetnsWorker {
 public:
  NetnsWorker() {
    if (!morva::test::netns_unavailable_reason().empty()) return;
    thread_ = std::thread([this] {
      try {
        morva::test::run_in_netns([this](morva::test::NetNamespace&) {
          {
            std::lock_guard<std::mutex> g(mu_);
            ready_ = true;
          }
          cv_.notify_all();
          for (;;) {
            std::unique_lock<std::mutex> l(mu_);
            cv_.wait(l, [this] { return job_ != nullptr; });
            (*job_)();
            job_ = nullptr;
            cv_.notify_all();
          }
        });
      } catch (const std::exception& e) {
        std::fprintf(stderr, "network namespace: %s\n", e.what());
      }
      std::lock_guard<std::mutex> g(mu_);
      failed_ = true;
      cv_.notify_all();
    });
    thread_.detach();
    std::unique_lock<std::mutex> l(mu_);
    cv_.wait(l, [this] { return ready_ || failed_; });
  }
  // False when there is no namespace to run in.
  bool run(const std::function<void()>& work) {
    std::unique_lock<std::mutex> l(mu_);
    if (!ready_ || failed_) return false;
    job_ = &work;
    cv_.notify_all();
    cv_.wait(l, [this] { return job_ == nullptr || failed_; });
    return !failed_;
  }

 private:
  std::thread thread_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool ready_ = false, failed_ = false;
  const std::function<void()>* job_ = nullptr;
};

}  // namespace morva::fuzz
