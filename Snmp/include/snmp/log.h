// Log framework of devlink: one process-wide manager, named sessions with a
// level mask, and outputs ("stdout", "file") attached to sessions. Every
// session starts with mask 0 and no outputs, so nothing is written until a
// host enables a session (or the "All" group) and attaches an output.
//
// The level test reads an atomic mask before anything else: a disabled
// level costs one load and takes no lock.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "snmp/pmc_string.h"
#include "win/memory.h"

enum PmcLogLevel : std::uint32_t {
  kPmcLogError = 1,
  kPmcLogWarn = 2,
  kPmcLogInfo = 4,
  kPmcLogDebug = 8,
  kPmcLogTrace = 16,
  kPmcLogAll = 31,
};

// Interface ids answered by query().
inline constexpr const char* kIidPmcInterface = "3e1c7a20-5b9d-4f62-a8e4-91d0c6b27f35";
inline constexpr const char* kIidPmcLogSession = "7a2d4e10-2c31-11d4-9b6e-0050c4a1d2b7";
inline constexpr const char* kIidCPmcLogSession = "8b3e5f20-2c31-11d4-9b6e-0050c4a1d2b7";
inline constexpr const char* kIidPmcLogSessionProvider = "9c4f6031-2c31-11d4-9b6e-0050c4a1d2b7";
inline constexpr const char* kIidPmcLogSessionGroup = "1d507142-2c39-11d4-9b6e-0050c4a1d2b7";
inline constexpr const char* kIidPmcLogOutput = "2e618253-36c4-11d4-9b75-0050c4a1d2b7";
inline constexpr const char* kIidPmcLogFileOutput = "4f729364-36c4-11d4-9b75-0050c4a1d2b7";

class IPmcInterface {
 public:
  // -2 for a null id or out-pointer, -4 (and *out null) for an id the
  // object does not offer.
  virtual int query(const char* id, void** out) = 0;
  virtual int command(const char* name, const char* value) = 0;
  virtual void release() = 0;

 protected:
  virtual ~IPmcInterface() = default;
};

class IPmcLogOutput : public IPmcInterface {
 public:
  virtual const char* get_kind() const = 0;
  virtual const char* get_name() const = 0;
  virtual int write(const char* line) = 0;
};

class IPmcLogFileOutput : public IPmcLogOutput {
 public:
  virtual bool set_size_limit(std::uint32_t bytes) = 0;
  virtual int set_path(const char* path) = 0;
};

class IPmcLogSession : public IPmcInterface {
 public:
  virtual const char* get_name() const = 0;
  virtual int attach_output(IPmcLogOutput* output) = 0;
  virtual int set_level_mask(std::uint32_t mask) = 0;
  virtual std::uint32_t get_level_mask() const = 0;
  virtual int set_indent(std::uint32_t count) = 0;
  virtual std::uint32_t get_indent() const = 0;
  virtual int set_prefix_flags(std::uint32_t flags) = 0;
  virtual std::uint32_t get_prefix_flags() const = 0;
  virtual int set_radix(std::uint32_t radix) = 0;
  virtual std::uint32_t get_radix() const = 0;
  virtual int reserved_op(std::intptr_t a, std::intptr_t b) = 0;
  virtual int log(std::uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4))) = 0;
  virtual int vlog(std::uint32_t level, const char* format, va_list args) = 0;
};

class IPmcLogSessionGroup : public IPmcLogSession {
 public:
  virtual int add_member(IPmcLogSession* session) = 0;
  virtual IPmcLogSession* remove_member(IPmcLogSession* session) = 0;
  virtual void clear() = 0;
};

// Options given to an output factory ("ExtentionName" names the file path).
class IPmcLogOptions {
 public:
  virtual bool has(const char* key) const = 0;
  virtual const char* value(const char* key) const = 0;

 protected:
  ~IPmcLogOptions() = default;
};

class IPmcLogOutputFactory {
 public:
  virtual IPmcLogOutput* create(const char* name, const IPmcLogOptions* options) = 0;
  virtual const char* kind() const = 0;

 protected:
  ~IPmcLogOutputFactory() = default;
};

class IPmcLogManager {
 public:
  virtual IPmcLogSession* get_session(const char* name, IPmcLogOutput* output, int* err) = 0;
  // Never creates: the named session's provider view (the "All" group's;
  // -1 and null for a session that offers none), -6 and null for no such
  // session, -2 and the null session for a null name.
  virtual IPmcLogSession* find_session(const char* name, int* err) = 0;
  IPmcLogSession* get_session(const char* name, int* err) { return get_session(name, nullptr, err); }
  virtual IPmcLogOutput* get_output(const char* kind, const char* name) = 0;
  virtual IPmcLogOutput* find_output(const char* name, int* err) = 0;
  virtual int add_output_factory(IPmcLogOutputFactory* factory) = 0;
  virtual void reset() = 0;
  // The "All" group.
  virtual IPmcLogSessionGroup* all() = 0;

 protected:
  ~IPmcLogManager() = default;
};

class CPmcLogManager {
 public:
  static IPmcLogManager* instance(int* err);
};

IPmcLogManager* pmc_log_get_manager();
int pmc_log_get_session(const char* name);
int pmc_log_set_level_mask(const char* name, std::uint32_t mask);
int pmc_log_set_output_flags(const char* name, std::uint32_t flags);
int pmc_log_printf(const char* name, std::uint32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int pmc_log_reserved_op(const char* name, std::intptr_t a, std::intptr_t b);

// A module's handle on one named session, resolved on first use and then
// read without a lock.
class CPmcLogSessionHolder {
 public:
  explicit CPmcLogSessionHolder(const char* name);
  ~CPmcLogSessionHolder();
  IPmcLogSession* session();
  int log(std::uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));

 private:
  std::atomic<IPmcLogSession*> session_{nullptr};
  std::atomic<unsigned> generation_{0};
  const char* name_;
  CRITICAL_SECTION lock_;
};
