// The bytes a print keeps in the driver's temp files: a thread samples the
// temp folder every half millisecond while the watch lives and keeps the
// largest total it saw of the driver's recording files ("QZP*.tmp").
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "win/files.h"
#include "win/paths.h"

namespace morva::bench {

class TempFileWatch {
 public:
  TempFileWatch() {
    WCHAR dir[MAX_PATH] = {};
    if (GetTempPathW(MAX_PATH, dir) > 0) folder_ = platform::native_path(std::u16string(dir));
    thread_ = std::thread([this] {
      while (!stop_) {
        sample();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      }
    });
  }
  ~TempFileWatch() { peak(); }
  TempFileWatch(const TempFileWatch&) = delete;
  TempFileWatch& operator=(const TempFileWatch&) = delete;

  // Stops the watch; the largest total seen.
  std::uintmax_t peak() {
    if (thread_.joinable()) {
      stop_ = true;
      thread_.join();
    }
    return peak_;
  }

 private:
  void sample() {
    std::error_code ec;
    std::uintmax_t total = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder_, ec)) {
      const std::string name = e.path().filename().string();
      if (name.rfind("QZP", 0) != 0) continue;
      const auto size = e.file_size(ec);
      if (!ec) total += size;
    }
    if (total > peak_) peak_ = total;
  }

  std::string folder_;
  std::atomic<bool> stop_{false};
  std::uintmax_t peak_ = 0;
  std::thread thread_;
};

}  // namespace morva::bench
