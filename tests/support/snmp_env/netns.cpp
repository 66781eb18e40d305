#include "netns.h"

#include <net/if.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "process.h"

namespace morva::test {
namespace {

std::string ip_program() { return access("/usr/sbin/ip", X_OK) == 0 ? "/usr/sbin/ip" : "ip"; }

std::vector<std::string> split(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> out;
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

// Called on the thread (or in the child) that just entered the namespace.
void set_up_namespace(NetNamespace& ns) {
  ns.ip("link set lo up");
  ns.ip("route add default dev lo");
}

std::string enter_new_namespace() {
  if (unshare(CLONE_NEWNET) != 0) return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
  return "";
}

}  // namespace

void NetNamespace::ip(const std::string& args) const {
  std::vector<std::string> argv = {ip_program()};
  for (auto& w : split(args)) argv.push_back(w);
  CommandResult r = run_command(argv, {}, 10000);
  if (r.exit_code != 0) throw std::runtime_error("ip " + args + " failed: " + r.output + r.errors);
}

void NetNamespace::add_address(const std::string& cidr, const std::string& dev) const {
  bool v6 = cidr.find(':') != std::string::npos;
  ip(std::string(v6 ? "-6 " : "") + "addr add " + cidr + " dev " + dev + (v6 ? " nodad" : ""));
}

// Switches IPv6 duplicate address detection off for devices that appear
// later: in this thread's namespace (`nsenter_net` empty; /proc/sys/net
// belongs to the namespace of the task that opens it) or in another one.
void NetNamespace::disable_dad(const std::string& nsenter_net) const {
  const char* knobs[] = {"/proc/sys/net/ipv6/conf/default/accept_dad", "/proc/sys/net/ipv6/conf/all/accept_dad"};
  if (nsenter_net.empty()) {
    for (const char* knob : knobs) std::ofstream(knob) << "0\n";
    return;
  }
  // Without IPv6 in the kernel the knobs are missing; IPv4 works regardless.
  run_command({"nsenter", nsenter_net, "sh", "-c",
               std::string("for k in ") + knobs[0] + " " + knobs[1] + "; do [ -e $k ] && echo 0 > $k; done; true"},
              {}, 10000);
}

void NetNamespace::add_veth_pair(const std::string& a, const std::string& b) const {
  disable_dad("");
  ip("link add " + a + " type veth peer name " + b);
  ip("link set " + a + " up");
  ip("link set " + b + " up");
}

void NetNamespace::add_lan(const std::string& gateway_cidr, const std::string& gateway6_cidr) const {
  disable_dad("");
  ip(std::string("link add ") + kLanBridge + " type bridge forward_delay 0");
  ip("addr add " + gateway_cidr + " dev " + kLanBridge);
  if (!gateway6_cidr.empty()) add_address(gateway6_cidr, kLanBridge);
  ip(std::string("link set ") + kLanBridge + " up");
  ip(std::string("route replace default dev ") + kLanBridge);
}

void NetNamespace::attach_to_lan(int pid, const std::string& cidr, const std::string& cidr6) const {
  const std::string here = "mv" + std::to_string(pid), there = "mp" + std::to_string(pid);
  const std::string ns = "--net=/proc/" + std::to_string(pid) + "/ns/net";
  disable_dad(ns);  // before the device arrives there, so its link-local address is usable at once
  ip("link add " + here + " type veth peer name " + there);
  ip("link set " + there + " netns " + std::to_string(pid));
  ip("link set " + here + " master " + kLanBridge);
  ip("link set " + here + " up");
  std::vector<std::string> steps = {"link set lo up", "addr add " + cidr + " dev " + there};
  if (!cidr6.empty()) steps.push_back("-6 addr add " + cidr6 + " dev " + there + " nodad");
  steps.insert(steps.end(), {"link set " + there + " up", "route add default dev " + there});
  for (const std::string& args : steps) {
    std::vector<std::string> argv = {"nsenter", ns, ip_program()};
    for (auto& w : split(args)) argv.push_back(w);
    CommandResult r = run_command(argv, {}, 10000);
    if (r.exit_code != 0) throw std::runtime_error("nsenter ip " + args + " failed: " + r.output + r.errors);
  }
}

unsigned NetNamespace::if_index(const std::string& dev) const { return if_nametoindex(dev.c_str()); }

std::string netns_unavailable_reason() {
  static std::once_flag once;
  static std::string reason;
  std::call_once(once, [] {
    if (geteuid() != 0) {
      reason = "network namespaces need root";
      return;
    }
    if (!program_available("ip") && access("/usr/sbin/ip", X_OK) != 0) {
      reason = "the ip tool (iproute2) is not installed";
      return;
    }
    // Try on a throwaway thread, so this thread keeps its namespace.
    std::thread t([] {
      reason = enter_new_namespace();
      if (reason.empty()) {
        try {
          NetNamespace ns;
          set_up_namespace(ns);
        } catch (const std::exception& e) {
          reason = e.what();
        }
      }
    });
    t.join();
    if (!reason.empty()) reason = "network namespaces unavailable: " + reason;
  });
  return reason;
}

void run_in_netns(const std::function<void(NetNamespace&)>& body) {
  std::string failure;
  std::exception_ptr error;
  std::thread t([&] {
    failure = enter_new_namespace();
    if (!failure.empty()) return;
    try {
      NetNamespace ns;
      set_up_namespace(ns);
      body(ns);
    } catch (...) {
      error = std::current_exception();
    }
  });
  t.join();
  if (!failure.empty()) throw NetnsUnavailable(failure);
  if (error) std::rethrow_exception(error);
}

int run_in_netns_process(const std::function<int(NetNamespace&)>& body) {
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) return 125;
  if (pid == 0) {
    int rc = 125;
    if (enter_new_namespace().empty()) {
      try {
        NetNamespace ns;
        set_up_namespace(ns);
        rc = body(ns);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "network namespace body failed: %s\n", e.what());
        rc = 126;
      } catch (...) {
        rc = 126;
      }
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(rc);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace morva::test
