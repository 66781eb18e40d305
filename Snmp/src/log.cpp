#include "snmp/log.h"

#include <sys/stat.h>
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "snmp/critical_section.h"

namespace {

using Lock = CPmcCriticalSection;
using Guard = CPmcLockGuard;

// Raised once any session or the group gets a non-zero mask; until then
// every log call returns at once without a lock or a lookup.
std::atomic<bool> g_log_enabled{false};
// Counts manager resets, so that session holders resolve their session again.
std::atomic<unsigned> g_generation{0};

int answer_query(const char* id, void** out, std::initializer_list<std::pair<const char*, void*>> offered) {
  if (!id || !out) return -2;
  for (const auto& [iid, p] : offered) {
    if (std::strcmp(iid, id) == 0) {
      *out = p;
      return 0;
    }
  }
  *out = nullptr;
  return -4;
}

// ---- outputs ---------------------------------------------------------------

class CPmcNullOutput final : public IPmcLogFileOutput {
 public:
  explicit CPmcNullOutput(const char* kind) : kind_(kind) {}
  int query(const char* id, void** out) override {
    return answer_query(id, out, {{kIidPmcInterface, this}, {kIidPmcLogOutput, this}});
  }
  int command(const char*, const char*) override { return -5; }
  void release() override {}
  const char* get_kind() const override { return kind_; }
  const char* get_name() const override { return kind_; }
  int write(const char*) override { return 0; }
  bool set_size_limit(std::uint32_t) override { return true; }
  int set_path(const char*) override { return 0; }

 private:
  const char* kind_;
};

CPmcNullOutput g_null_standard("null_standard");
CPmcNullOutput g_null_file("null_file");

class CPmcStdoutOutput final : public IPmcLogOutput {
 public:
  explicit CPmcStdoutOutput(const char* name) : name_(name) {}
  int query(const char* id, void** out) override {
    return answer_query(id, out, {{kIidPmcInterface, this}, {kIidPmcLogOutput, this}});
  }
  int command(const char*, const char*) override { return -5; }
  void release() override { delete this; }
  const char* get_kind() const override { return "stdout"; }
  const char* get_name() const override { return name_.c_str(); }
  int write(const char* line) override {
    std::printf("%s\n", line);
    std::fflush(stdout);
    return 0;
  }

 private:
  CPmcString name_;
};

class CPmcLogFileOutput final : public IPmcLogFileOutput {
 public:
  explicit CPmcLogFileOutput(const char* name) : name_(name) {}
  ~CPmcLogFileOutput() override {
    if (file_) std::fclose(file_);
  }
  int query(const char* id, void** out) override {
    return answer_query(id, out, {{kIidPmcInterface, this}, {kIidPmcLogOutput, this}, {kIidPmcLogFileOutput, this}});
  }
  int command(const char*, const char*) override { return -5; }
  void release() override { delete this; }
  const char* get_kind() const override { return "file"; }
  const char* get_name() const override { return name_.c_str(); }
  bool set_size_limit(std::uint32_t bytes) override {
    Guard g(lock_.cs);
    limit_ = bytes;
    return true;
  }
  int set_path(const char* path) override {
    if (!path) return -2;
    Guard g(lock_.cs);
    path_.assign(path);
    return 0;
  }
  int write(const char* line) override {
    Guard g(lock_.cs);
    if (!file_) {
      file_ = std::fopen(path_.c_str(), "a");
      if (!file_) return -10;
      struct stat st {};
      size_ = (fstat(fileno(file_), &st) == 0) ? static_cast<std::uint64_t>(st.st_size) : 0;
    }
    std::uint64_t n = std::strlen(line) + 2;
    if (n > limit_) return -7;
    if (size_ + n > limit_) {
      std::fclose(file_);
      file_ = nullptr;
      rotate();
      file_ = std::fopen(path_.c_str(), "wt");
      if (!file_) return -10;
      size_ = 0;
    }
    std::fprintf(file_, "%s\n", line);
    std::fflush(file_);
    size_ += n;
    return 0;
  }

 private:
  void rotate() {
    struct stat st {};
    if (stat(path_.c_str(), &st) != 0) return;
    CPmcString backup(path_);
    backup.append(".bak");
    if (stat(backup.c_str(), &st) == 0) std::remove(backup.c_str());
    std::rename(path_.c_str(), backup.c_str());
  }

  CPmcString name_;
  CPmcString path_;
  Lock lock_;
  std::FILE* file_ = nullptr;
  std::uint32_t limit_ = 0x400000;
  std::uint64_t size_ = 0;
};

class StdoutFactory final : public IPmcLogOutputFactory {
 public:
  IPmcLogOutput* create(const char* name, const IPmcLogOptions*) override {
    if (!name) return &g_null_standard;
    auto* out = new (std::nothrow) CPmcStdoutOutput(name);
    return out ? static_cast<IPmcLogOutput*>(out) : &g_null_standard;
  }
  const char* kind() const override { return "stdout"; }
};

class FileFactory final : public IPmcLogOutputFactory {
 public:
  IPmcLogOutput* create(const char* name, const IPmcLogOptions* options) override {
    if (!name) return &g_null_file;
    auto* out = new (std::nothrow) CPmcLogFileOutput(name);
    if (!out) return &g_null_file;
    if (!options) return out;
    const char* path = options->has("ExtentionName") ? options->value("ExtentionName") : nullptr;
    if (!path || out->set_path(path) != 0) {
      out->release();
      return &g_null_file;
    }
    return out;
  }
  const char* kind() const override { return "file"; }
};

StdoutFactory g_stdout_factory;
FileFactory g_file_factory;

IPmcLogOutput* null_output_of(const char* kind) {
  return std::strcmp(kind, "file") == 0 ? static_cast<IPmcLogOutput*>(&g_null_file) : &g_null_standard;
}

// ---- sessions --------------------------------------------------------------

// Settings shared by a session and the group.
struct SessionSettings {
  std::atomic<std::uint32_t> level_mask{0};
  std::uint32_t indent = 0;
  CPmcString indent_text;
  std::uint32_t prefix_flags = 7;
  std::uint32_t radix = 10;

  void set_indent(std::uint32_t count) {
    indent = count;
    indent_text.clear();
    for (std::uint32_t i = 0; i < count && i < 256; ++i) indent_text.append("    ");
  }
};

void set_mask(std::atomic<std::uint32_t>& m, std::uint32_t mask) {
  m.store(mask, std::memory_order_relaxed);
  if (mask) g_log_enabled.store(true, std::memory_order_relaxed);
}

constexpr std::size_t kLineMax = 1024;

class CPmcLogSession final : public IPmcLogSession {
 public:
  explicit CPmcLogSession(const char* name) : name_(name) {}
  int query(const char* id, void** out) override {
    return answer_query(id, out, {{kIidPmcInterface, this}, {kIidPmcLogSession, this}, {kIidCPmcLogSession, this}});
  }
  int command(const char*, const char*) override { return -5; }
  void release() override { delete this; }
  const char* get_name() const override { return name_.c_str(); }
  int attach_output(IPmcLogOutput* output) override {
    if (!output) return -2;
    Guard g(lock_.cs);
    for (auto* o : outputs_)
      if (std::strcmp(o->get_name(), output->get_name()) == 0) return 0;
    outputs_.push_back(output);
    return 0;
  }
  // Forgets an output that the manager is about to release.
  void detach_output(IPmcLogOutput* output) {
    Guard g(lock_.cs);
    std::erase(outputs_, output);
  }
  int set_level_mask(std::uint32_t mask) override {
    set_mask(s_.level_mask, mask);
    return 0;
  }
  std::uint32_t get_level_mask() const override { return s_.level_mask.load(std::memory_order_relaxed); }
  int set_indent(std::uint32_t count) override {
    Guard g(lock_.cs);
    s_.set_indent(count);
    return 0;
  }
  std::uint32_t get_indent() const override { return s_.indent; }
  int set_prefix_flags(std::uint32_t flags) override {
    Guard g(lock_.cs);
    s_.prefix_flags = flags;
    return 0;
  }
  std::uint32_t get_prefix_flags() const override { return s_.prefix_flags; }
  int set_radix(std::uint32_t radix) override {
    if (radix != 10 && radix != 16) return -2;
    Guard g(lock_.cs);
    s_.radix = radix;
    return 0;
  }
  std::uint32_t get_radix() const override { return s_.radix; }
  int reserved_op(std::intptr_t, std::intptr_t) override { return -6; }
  int log(std::uint32_t level, const char* format, ...) override {
    if ((level & get_level_mask()) == 0) return 0;
    va_list ap;
    va_start(ap, format);
    int r = vlog(level, format, ap);
    va_end(ap);
    return r;
  }
  int vlog(std::uint32_t level, const char* format, va_list args) override;

 private:
  std::vector<IPmcLogOutput*> outputs_;
  CPmcString name_;
  SessionSettings s_;
  Lock lock_;
};

const char* level_tag(std::uint32_t level) {
  switch (level) {
    case 1: return "Error, ";
    case 2: return "Warn , ";
    case 4: return "Info , ";
    case 8: return "Debug, ";
    case 16: return "Trace, ";
    case 31: return "All  , ";
    default: return "";
  }
}

int CPmcLogSession::vlog(std::uint32_t level, const char* format, va_list args) {
  if ((level & get_level_mask()) == 0) return 0;
  Guard g(lock_.cs);
  char line[kLineMax + 1];
  std::size_t n = 0;
  auto put = [&](const char* fmt, auto... v) {
    if (n >= kLineMax) return;
    int w = std::snprintf(line + n, kLineMax + 1 - n, fmt, v...);
    if (w > 0) n = std::min(kLineMax, n + static_cast<std::size_t>(w));
  };
  if (s_.prefix_flags & 1) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    put("%04d/%02d/%02d %02d:%02d:%02d:%03d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
        t.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
  } else {
    put("%23s", "");
  }
  const char* num = s_.radix == 16 ? ", %08X" : ", %8d";
  if (s_.prefix_flags & 2) put(num, static_cast<unsigned>(GetCurrentProcessId())); else put(", %8s", "");
  if (s_.prefix_flags & 4) put(num, static_cast<unsigned>(GetCurrentThreadId())); else put(", %8s", "");
  put(", %-16.16s", name_.c_str());
  put(", %s", level_tag(level));
  put("%s", s_.indent_text.c_str());
  if (n < kLineMax) {
    if (format) {
      int w = std::vsnprintf(line + n, kLineMax + 1 - n, format, args);
      if (w > 0) n = std::min(kLineMax, n + static_cast<std::size_t>(w));
    } else {
      put("%s", "(client was about to output null message...)");
    }
  }
  line[n] = 0;
  int result = 0;
  for (auto* o : outputs_) {
    int r = o->write(line);
    if (r) result = r;
  }
  return result;
}

class CPmcNullSession final : public IPmcLogSessionGroup {
 public:
  int query(const char* id, void** out) override {
    return answer_query(id, out, {{kIidPmcInterface, this}, {kIidPmcLogSession, this}, {kIidPmcLogSessionProvider, this}});
  }
  int command(const char*, const char*) override { return -5; }
  void release() override {}
  const char* get_name() const override { return "null_session"; }
  int attach_output(IPmcLogOutput*) override { return 0; }
  int set_level_mask(std::uint32_t) override { return 0; }
  std::uint32_t get_level_mask() const override { return 0; }
  int set_indent(std::uint32_t) override { return 0; }
  std::uint32_t get_indent() const override { return 0; }
  int set_prefix_flags(std::uint32_t) override { return 0; }
  std::uint32_t get_prefix_flags() const override { return 0; }
  int set_radix(std::uint32_t) override { return 0; }
  std::uint32_t get_radix() const override { return 10; }
  int reserved_op(std::intptr_t, std::intptr_t) override { return 0; }
  int log(std::uint32_t, const char*, ...) override { return 0; }
  int vlog(std::uint32_t, const char*, va_list) override { return 0; }
  int add_member(IPmcLogSession*) override { return 0; }
  IPmcLogSession* remove_member(IPmcLogSession*) override { return nullptr; }
  void clear() override {}
};

CPmcNullSession g_null_session;

class CPmcLogGroup final : public IPmcLogSessionGroup {
 public:
  int query(const char* id, void** out) override {
    return answer_query(id, out,
                        {{kIidPmcInterface, this}, {kIidPmcLogSession, this}, {kIidCPmcLogSession, this},
                         {kIidPmcLogSessionProvider, this}, {kIidPmcLogSessionGroup, this}});
  }
  int command(const char*, const char*) override { return -5; }
  void release() override {}
  const char* get_name() const override { return "All"; }
  int attach_output(IPmcLogOutput* output) override {
    if (!output) return -2;
    Guard g(lock_.cs);
    bool known = false;
    for (auto* o : outputs_) known = known || std::strcmp(o->get_name(), output->get_name()) == 0;
    if (!known) outputs_.push_back(output);
    int r = 0;
    for (auto* m : members_) {
      int e = m->attach_output(output);
      if (e) r = e;
    }
    return r;
  }
  int set_level_mask(std::uint32_t mask) override {
    Guard g(lock_.cs);
    set_mask(s_.level_mask, mask);
    for (auto* m : members_) m->set_level_mask(mask);
    return 0;
  }
  std::uint32_t get_level_mask() const override { return s_.level_mask.load(std::memory_order_relaxed); }
  int set_indent(std::uint32_t count) override {
    Guard g(lock_.cs);
    s_.set_indent(count);
    for (auto* m : members_) m->set_indent(count);
    return 0;
  }
  std::uint32_t get_indent() const override { return s_.indent; }
  int set_prefix_flags(std::uint32_t flags) override {
    Guard g(lock_.cs);
    s_.prefix_flags = flags;
    for (auto* m : members_) m->set_prefix_flags(flags);
    return 0;
  }
  std::uint32_t get_prefix_flags() const override { return s_.prefix_flags; }
  int set_radix(std::uint32_t radix) override {
    if (radix != 10 && radix != 16) return -2;
    Guard g(lock_.cs);
    s_.radix = radix;
    for (auto* m : members_) m->set_radix(radix);
    return 0;
  }
  std::uint32_t get_radix() const override { return s_.radix; }
  int reserved_op(std::intptr_t, std::intptr_t) override { return -6; }
  int log(std::uint32_t, const char*, ...) override { return -6; }
  int vlog(std::uint32_t, const char*, va_list) override { return -6; }
  int add_member(IPmcLogSession* session) override {
    if (!session) return -2;
    Guard g(lock_.cs);
    for (auto* m : members_)
      if (m == session) return 0;
    session->set_level_mask(get_level_mask());
    session->set_prefix_flags(s_.prefix_flags);
    session->set_radix(s_.radix);
    session->set_indent(s_.indent);
    int first = 0;
    for (auto* o : outputs_) {
      int e = session->attach_output(o);
      if (e && !first) first = e;
    }
    members_.push_back(session);
    return first;
  }
  IPmcLogSession* remove_member(IPmcLogSession* session) override {
    Guard g(lock_.cs);
    for (auto it = members_.begin(); it != members_.end(); ++it) {
      if (*it == session) {
        members_.erase(it);
        return session;
      }
    }
    return nullptr;
  }
  void clear() override {
    Guard g(lock_.cs);
    members_.clear();
    outputs_.clear();
    s_.level_mask = 0;
    s_.set_indent(0);
    s_.prefix_flags = 7;
    s_.radix = 10;
  }

 private:
  SessionSettings s_;
  Lock lock_;
  std::vector<IPmcLogSession*> members_;
  std::vector<IPmcLogOutput*> outputs_;
};

class CPmcLogManagerImpl final : public IPmcLogManager {
 public:
  CPmcLogManagerImpl() {
    sessions_.push_back(&group_);
    factories_.push_back(&g_stdout_factory);
    factories_.push_back(&g_file_factory);
  }
  ~CPmcLogManagerImpl() { reset(); }

  IPmcLogSession* get_session(const char* name, IPmcLogOutput* output, int* err) override {
    Guard g(lock_.cs);
    if (!name) {
      pms_err(err, -2);
      return &g_null_session;
    }
    for (auto* s : sessions_) {
      if (std::strcmp(s->get_name(), name) == 0) {
        pms_err(err, 0);
        return s;
      }
    }
    auto* s = new (std::nothrow) CPmcLogSession(name);
    if (!s) {
      pms_err(err, -3);
      return &g_null_session;
    }
    int e = group_.add_member(s);
    if (e == 0 && output) e = s->attach_output(output);
    if (e) {
      group_.remove_member(s);
      s->release();
      pms_err(err, e);
      return &g_null_session;
    }
    sessions_.push_back(s);
    pms_err(err, 0);
    return s;
  }

  IPmcLogSession* find_session(const char* name, int* err) override {
    Guard g(lock_.cs);
    if (!name) {
      pms_err(err, -2);
      return &g_null_session;
    }
    for (auto* s : sessions_) {
      if (std::strcmp(s->get_name(), name) == 0) {
        // The session's provider view, which only the "All" group offers.
        void* provider = nullptr;
        if (s->query(kIidPmcLogSessionProvider, &provider) != 0 || !provider) {
          pms_err(err, -1);
          return nullptr;
        }
        pms_err(err, 0);
        return static_cast<IPmcLogSession*>(provider);
      }
    }
    pms_err(err, -6);
    return nullptr;
  }

  IPmcLogOutput* get_output(const char* kind, const char* name) override {
    Guard g(lock_.cs);
    if (!kind) {
      kind = "stdout";
      name = nullptr;
    }
    IPmcLogOutputFactory* factory = nullptr;
    for (auto* f : factories_)
      if (std::strcmp(f->kind(), kind) == 0) factory = f;
    if (!factory) return nullptr;
    if (!name) return null_output_of(kind);
    for (auto* o : outputs_) {
      if (std::strcmp(o->get_name(), name) == 0)
        return std::strcmp(o->get_kind(), kind) == 0 ? o : null_output_of(kind);
    }
    IPmcLogOutput* o = factory->create(name, nullptr);
    if (o && o != &g_null_standard && o != &g_null_file) outputs_.push_back(o);
    return o;
  }

  IPmcLogOutput* find_output(const char* name, int* err) override {
    Guard g(lock_.cs);
    if (!name) {
      pms_err(err, -2);
      return &g_null_standard;
    }
    pms_err(err, 0);
    for (auto* o : outputs_)
      if (std::strcmp(o->get_name(), name) == 0) return o;
    return &g_null_standard;
  }

  int add_output_factory(IPmcLogOutputFactory* factory) override {
    if (!factory) return -2;
    Guard g(lock_.cs);
    factories_.push_back(factory);
    return 0;
  }

  void reset() override {
    Guard g(lock_.cs);
    g_generation.fetch_add(1);
    group_.clear();
    for (auto* s : sessions_)
      if (s != &group_) s->release();
    for (auto* o : outputs_) o->release();
    sessions_.clear();
    outputs_.clear();
    sessions_.push_back(&group_);
  }

  IPmcLogSessionGroup* all() override { return &group_; }

 private:
  static void pms_err(int* err, int code) {
    if (err) *err = code;
  }
  Lock lock_;
  std::vector<IPmcLogSession*> sessions_;
  std::vector<IPmcLogOutput*> outputs_;
  std::vector<IPmcLogOutputFactory*> factories_;
  CPmcLogGroup group_;
};

}  // namespace

IPmcLogManager* CPmcLogManager::instance(int* err) {
  static CPmcLogManagerImpl manager;  // built on first use, destroyed at exit
  if (err) *err = 0;
  return &manager;
}

IPmcLogManager* pmc_log_get_manager() { return CPmcLogManager::instance(nullptr); }

int pmc_log_get_session(const char* name) {
  int err = 0;
  pmc_log_get_manager()->get_session(name, &err);
  return err;
}

int pmc_log_set_level_mask(const char* name, std::uint32_t mask) {
  int err = 0;
  IPmcLogSession* s = pmc_log_get_manager()->get_session(name, &err);
  return err ? err : s->set_level_mask(mask);
}

int pmc_log_set_output_flags(const char* name, std::uint32_t flags) {
  int err = 0;
  IPmcLogSession* s = pmc_log_get_manager()->get_session(name, &err);
  return err ? err : s->set_prefix_flags(flags);
}

int pmc_log_printf(const char* name, std::uint32_t level, const char* format, ...) {
  if (!g_log_enabled.load(std::memory_order_relaxed)) return 0;
  int err = 0;
  IPmcLogSession* s = pmc_log_get_manager()->get_session(name, &err);
  if (err) return err;
  va_list ap;
  va_start(ap, format);
  int r = s->vlog(level, format, ap);
  va_end(ap);
  return r;
}

int pmc_log_reserved_op(const char* name, std::intptr_t a, std::intptr_t b) {
  int err = 0;
  IPmcLogSession* s = pmc_log_get_manager()->get_session(name, &err);
  return err ? err : s->reserved_op(a, b);
}

CPmcLogSessionHolder::CPmcLogSessionHolder(const char* name) : name_(name) { InitializeCriticalSection(&lock_); }
CPmcLogSessionHolder::~CPmcLogSessionHolder() { DeleteCriticalSection(&lock_); }

IPmcLogSession* CPmcLogSessionHolder::session() {
  IPmcLogSession* s = session_.load(std::memory_order_acquire);
  if (s && generation_.load(std::memory_order_acquire) == g_generation.load(std::memory_order_acquire)) return s;
  EnterCriticalSection(&lock_);
  unsigned gen = g_generation.load(std::memory_order_acquire);
  s = session_.load(std::memory_order_relaxed);
  if (!s || generation_.load(std::memory_order_relaxed) != gen) {
    s = pmc_log_get_manager()->get_session(name_, nullptr);
    session_.store(s, std::memory_order_release);
    generation_.store(gen, std::memory_order_release);
  }
  LeaveCriticalSection(&lock_);
  return s;
}

int CPmcLogSessionHolder::log(std::uint32_t level, const char* format, ...) {
  if (!g_log_enabled.load(std::memory_order_relaxed)) return 0;
  IPmcLogSession* s = session();
  va_list ap;
  va_start(ap, format);
  int r = s->vlog(level, format, ap);
  va_end(ap);
  return r;
}
