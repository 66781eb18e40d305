// libdevlink.so loaded as an outside caller loads it: dlopen from the
// folder of the test program (<build>/bin), each PSW function bound by
// name with dlsym.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>

#include "device_api/psw.h"

namespace devlink_test {

inline std::string bin_folder() {
  char path[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string p(path, n > 0 ? static_cast<std::size_t>(n) : 0);
  return p.substr(0, p.rfind('/'));
}

inline std::string library_path() { return bin_folder() + "/libdevlink.so"; }

#define DEVLINK_FUNCTIONS(X)                                                                             \
  X(PSWInit) X(PSWUnInit) X(PSWCommandString) X(PSWCommandInteger) X(PSWFindAddFilter) X(PSWFindClearFilter) \
  X(PSWFindDeviceSNMP) X(PSWFindDeviceSNMPEx) X(PSWFindResetPosition) X(PSWGetDeviceNext) X(PSWInitDevice)   \
  X(PSWInitDeviceEx) X(PSWIsSupportedOID) X(PSWRefreshOptions) X(PSWGetOptionValueBoolean)                 \
  X(PSWGetOptionValueInteger) X(PSWGetOptionValueUInteger) X(PSWGetOptionValueString)                     \
  X(PSWGetNumberOfStorageInfo) X(PSWGetStorageInfo) X(PSWGetNumberOfDeviceInfo) X(PSWGetDeviceInfo)       \
  X(PSWGetPrinterInfo) X(PSWGetNumberOfInputTrayInfo) X(PSWGetInputTrayInfo)                              \
  X(PSWGetNumberOfInputTrayInfoEx) X(PSWGetInputTrayInfoEx) X(PSWGetNumberOfOutputTrayInfo)               \
  X(PSWGetOutputTrayInfo) X(PSWGetNumberOfTonerInfo) X(PSWGetTonerInfo) X(PSWGetNumberOfAlertInfo)        \
  X(PSWGetAlertInfo) X(PSWGetNumberOfJobInfo) X(PSWGetJobInfo) X(PSWCancelJob) X(PSWGetCharSet)           \
  X(PSWTransportAvailable)

// The library and its functions; unloaded when destroyed.
struct Devlink {
#define DEVLINK_MEMBER(name) decltype(&::name) name = nullptr;
  DEVLINK_FUNCTIONS(DEVLINK_MEMBER)
#undef DEVLINK_MEMBER

  Devlink() {
    // Kept mapped after dlclose: net-snmp, which comes in with the library,
    // keeps heap blocks in its globals between requests, and unmapping
    // them would turn those blocks into leaks.
    lib_ = ::dlopen(library_path().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!lib_) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
#define DEVLINK_BIND(name) name = reinterpret_cast<decltype(&::name)>(bind(#name));
    DEVLINK_FUNCTIONS(DEVLINK_BIND)
#undef DEVLINK_BIND
  }
  ~Devlink() {
    if (lib_) ::dlclose(lib_);
  }
  Devlink(const Devlink&) = delete;
  Devlink& operator=(const Devlink&) = delete;

  void* handle() const { return lib_; }

 private:
  void* bind(const char* name) {
    void* f = ::dlsym(lib_, name);
    if (!f) throw std::runtime_error(std::string("dlsym: ") + name);
    return f;
  }
  void* lib_ = nullptr;
};

// A PSWUsmParam from texts and numbers.
inline PSWUsmParam usm_param(const std::string& name, int32_t level, int32_t auth, int32_t priv,
                             const std::string& auth_pass, const std::string& priv_pass) {
  PSWUsmParam p{};
  std::strncpy(p.security_name, name.c_str(), sizeof p.security_name - 1);
  p.security_level = level;
  p.auth_protocol = auth;
  p.priv_protocol = priv;
  std::strncpy(p.auth_passphrase, auth_pass.c_str(), sizeof p.auth_passphrase - 1);
  std::strncpy(p.priv_passphrase, priv_pass.c_str(), sizeof p.priv_passphrase - 1);
  return p;
}

}  // namespace devlink_test
