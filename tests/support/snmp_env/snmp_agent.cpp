#include "snmp_agent.h"

#include "netns.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace morva::test {
namespace {

namespace fs = std::filesystem;

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool is_ipv6(const std::string& address) { return address.find(':') != std::string::npos; }

// The agent's modules that would serve the subtrees the fixture serves
// (system group, host resources), and smux, which would grab TCP 199.
constexpr const char* kModulesOff =
    "-smux,system_mib,sysORTable,hr_system,hr_device,hr_disk,hr_network,hr_other,hr_partition,"
    "hr_print,hr_proc,hrh_filesys,hrh_storage,hrSWInstalledTable,hrSWRunPerfTable,hrSWRunTable,"
    "swinst,swrun";

std::uint16_t free_udp_port(const std::string& address) {
  bool v6 = is_ipv6(address);
  int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_storage ss{};
  socklen_t len;
  if (v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    inet_pton(AF_INET6, address.c_str(), &a->sin6_addr);
    len = sizeof(*a);
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &a->sin_addr);
    len = sizeof(*a);
  }
  std::uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&ss), len) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) == 0)
    port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  close(fd);
  return port;
}

std::string snmpd_program() { return access("/usr/sbin/snmpd", X_OK) == 0 ? "/usr/sbin/snmpd" : "snmpd"; }

std::string fixture_server_program() {
  if (const char* p = std::getenv("MORVA_SNMP_FIXTURE_SERVER"); p && *p) return p;
  return std::string(MORVA_SNMP_BIN_DIR) + "/morva-snmp-fixture";
}

const char* auth_word(SnmpUser::Auth a) { return a == SnmpUser::Auth::kMD5 ? "MD5" : "SHA"; }
const char* priv_word(SnmpUser::Priv p) { return p == SnmpUser::Priv::kDES ? "DES" : "AES"; }

// Folders of agents whose test process died without cleaning up (the
// agents themselves die with it): each folder names its owner's pid.
void remove_stale_folders() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), ec)) {
    if (entry.path().filename().string().rfind("morva-snmpd-", 0) != 0) continue;
    std::ifstream in(entry.path() / "owner.pid");
    long owner = 0;
    if (!(in >> owner) || owner <= 0) continue;
    if (kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH) fs::remove_all(entry.path(), ec);
  }
}

}  // namespace

std::string SnmpUser::level() const {
  if (auth == Auth::kNone) return "noAuthNoPriv";
  return priv == Priv::kNone ? "authNoPriv" : "authPriv";
}

std::vector<std::string> SnmpUser::tool_args() const {
  std::vector<std::string> a = {"-v3", "-l", level(), "-u", name};
  if (auth != Auth::kNone) {
    a.insert(a.end(), {"-a", auth_word(auth), "-A", auth_pass});
    if (priv != Priv::kNone) a.insert(a.end(), {"-x", priv_word(priv), "-X", priv_pass});
  }
  return a;
}

const std::vector<SnmpUser>& standard_snmp_users() {
  using A = SnmpUser::Auth;
  using P = SnmpUser::Priv;
  static const std::vector<SnmpUser> users = {
      {"md5des", A::kMD5, "md5des-auth-pass", P::kDES, "md5des-priv-pass"},
      {"md5aes", A::kMD5, "md5aes-auth-pass", P::kAES, "md5aes-priv-pass"},
      {"shades", A::kSHA, "shades-auth-pass", P::kDES, "shades-priv-pass"},
      {"shaaes", A::kSHA, "shaaes-auth-pass", P::kAES, "shaaes-priv-pass"},
      {"shaauth", A::kSHA, "shaauth-auth-pass", P::kNone, ""},
      {"md5auth", A::kMD5, "md5auth-auth-pass", P::kNone, ""},
      {"noauth", A::kNone, "", P::kNone, ""},
  };
  return users;
}

const SnmpUser& find_snmp_user(const std::string& name) {
  for (const auto& u : standard_snmp_users())
    if (u.name == name) return u;
  throw std::invalid_argument("no standard SNMPv3 user " + name);
}

SnmpUser default_snmp_user() {
  return {"Dezaruza", SnmpUser::Auth::kMD5, "7kepRoVUdaq38mibTe5w", SnmpUser::Priv::kDES, "MOLAS41wipEnrogu8ta2"};
}

std::vector<std::string> default_served_roots() {
  return {"1.3.6.1.2.1.1", "1.3.6.1.2.1.25", "1.3.6.1.2.1.43", "1.3.6.1.4.1.32473"};
}

std::string fixture_path(const std::string& name) { return std::string(MORVA_SNMP_FIXTURE_DIR) + "/" + name; }
std::string demo_device_fixture() { return fixture_path("demo_device.fixture"); }

SnmpAgent::SnmpAgent(SnmpAgentOptions options) : options_(std::move(options)) {
  if (!options_.lan_address.empty()) {
    options_.address = "0.0.0.0";
    if (options_.port == 0) options_.port = 161;
  }
  remove_stale_folders();
  std::string templ = (fs::temp_directory_path() / "morva-snmpd-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = templ;
  std::ofstream(dir_ + "/owner.pid") << getpid() << "\n";
  fs::create_directories(dir_ + "/persist");
  fs::create_directories(dir_ + "/client");

  std::string data = options_.fixture.empty() ? std::string() : read_whole(options_.fixture);
  if (!options_.fixture.empty() && data.empty()) {
    fs::remove_all(dir_);
    throw std::runtime_error("fixture file missing or empty: " + options_.fixture);
  }
  data += "\n" + options_.fixture_text + "\n";
  try {
    (void)FixtureData::parse(data);  // report bad lines here, not as a silent agent
  } catch (...) {
    fs::remove_all(dir_);
    throw;
  }
  std::ofstream(dir_ + "/fixture.txt", std::ios::binary) << data;

  const bool pick_port = options_.port == 0;
  for (int attempt = 0;; ++attempt) {
    port_ = pick_port ? free_udp_port(options_.address) : options_.port;
    try {
      start_once();
      return;
    } catch (const std::exception&) {
      // Another process may have taken the port between our probe and the
      // agent's bind; try a fresh one.
      if (!pick_port || attempt == 4) {
        std::string keep = log();
        if (!std::getenv("MORVA_KEEP_SNMP_DIRS")) fs::remove_all(dir_);
        throw std::runtime_error("snmpd did not come up on " + options_.address + ":" + std::to_string(port_) +
                                 "\n--- agent log ---\n" + keep);
      }
    }
  }
}

void SnmpAgent::start_once() {
  const bool v6 = is_ipv6(options_.address);
  std::ostringstream conf;
  conf << "agentAddress " << (v6 ? "udp6:[" + options_.address + "]" : "udp:" + options_.address) << ":" << port_;
  if (!options_.lan_address6.empty()) conf << ",udp6:[::]:" << port_;
  conf << "\n";
  conf << "dontLogTCPWrappersConnects yes\n";  // no log line per request (benchmarks walk thousands)
  for (const char* suffix : {"", "6"}) {
    if (!options_.read_community.empty()) conf << "rocommunity" << suffix << " " << options_.read_community << " default\n";
    if (!options_.write_community.empty()) conf << "rwcommunity" << suffix << " " << options_.write_community << " default\n";
  }
  if (!options_.limited_view.empty()) {
    for (const auto& subtree : options_.limited_view) conf << "view limitedView included ." << subtree << "\n";
    conf << "rocommunity " << kLimitedCommunity << " default -V limitedView\n";
    conf << "rocommunity6 " << kLimitedCommunity << " default -V limitedView\n";
  }
  std::vector<SnmpUser> users = options_.users;
  if (options_.with_default_user) users.push_back(default_snmp_user());
  for (const auto& u : users) {
    conf << "createUser " << u.name;
    if (u.auth != SnmpUser::Auth::kNone) {
      conf << " " << auth_word(u.auth) << " " << u.auth_pass;
      if (u.priv != SnmpUser::Priv::kNone) conf << " " << priv_word(u.priv) << " " << u.priv_pass;
    }
    conf << "\n";
    const char* level = u.auth == SnmpUser::Auth::kNone ? "noauth" : u.priv == SnmpUser::Priv::kNone ? "auth" : "priv";
    conf << "rwuser " << u.name << " " << level << "\n";
  }
  const std::string server = fixture_server_program();
  for (const auto& root : options_.served_roots)
    conf << "pass_persist ." << root << " " << server << " " << dir_ << "/fixture.txt " << root << " " << dir_
         << "/sets.log\n";
  for (const auto& line : options_.extra_config) conf << line << "\n";
  if (options_.max_message_size > 0) conf << "[snmp] sendMessageMaxSize " << options_.max_message_size << "\n";
  std::ofstream(dir_ + "/snmpd.conf", std::ios::trunc) << conf.str();
  // The agent rewrites createUser lines into its persistent file; start
  // each attempt from a clean one.
  fs::remove_all(dir_ + "/persist");
  fs::create_directories(dir_ + "/persist");

  ChildSpec spec;
  spec.argv = {snmpd_program(), "-f", "-Lo", "-C", "-c", dir_ + "/snmpd.conf", "-I", kModulesOff};
  spec.env = {{"SNMP_PERSISTENT_DIR", dir_ + "/persist"}, {"HOME", dir_}, {"MIBS", ""}, {"SNMPCONFPATH", dir_}};
  spec.output_file = dir_ + "/agent.log";
  spec.new_netns = !options_.lan_address.empty();
  pid_ = spawn_child(spec);
  if (pid_ < 0) throw std::runtime_error("cannot start snmpd");
  if (spec.new_netns) {
    try {
      NetNamespace{}.attach_to_lan(pid_, options_.lan_address, options_.lan_address6);
    } catch (...) {
      stop_child(pid_);
      pid_ = -1;
      throw;
    }
  }

  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.start_timeout_ms);
  std::int32_t id = 1;
  // snmpEngineTime.0 is answered by the agent itself, whatever the fixture.
  const std::string probe_oid = "1.3.6.1.6.3.10.2.1.3.0";
  const std::string community = options_.read_community.empty() ? options_.write_community : options_.read_community;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!child_running(pid_)) {
      pid_ = -1;
      throw std::runtime_error("snmpd exited");
    }
    auto answer = wire::exchange(target_address(), port_, wire::get_request(0, community, id++, {probe_oid}), 200);
    if (answer) return;
  }
  stop_child(pid_);
  pid_ = -1;
  throw std::runtime_error("snmpd did not answer");
}

SnmpAgent::~SnmpAgent() {
  stop();
  if (!dir_.empty() && !std::getenv("MORVA_KEEP_SNMP_DIRS")) {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
}

void SnmpAgent::stop() {
  stop_child(pid_);
  pid_ = -1;
}

void SnmpAgent::pause() {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void SnmpAgent::resume() {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

std::string SnmpAgent::target_address() const {
  if (!options_.lan_address.empty()) return options_.lan_address.substr(0, options_.lan_address.find('/'));
  if (options_.address == "0.0.0.0") return "127.0.0.1";
  if (options_.address == "::") return "::1";
  return options_.address;
}

std::string SnmpAgent::peer() const {
  if (is_ipv6(options_.address)) return "udp6:[" + target_address() + "]:" + std::to_string(port_);
  return target_address() + ":" + std::to_string(port_);
}

std::string SnmpAgent::log() const { return read_whole(dir_ + "/agent.log"); }

std::vector<FixtureEntry> SnmpAgent::sets() const {
  std::string text = read_whole(dir_ + "/sets.log");
  std::vector<FixtureEntry> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    // Parse each line on its own: the log keeps repeated SETs of one object.
    auto d = FixtureData::parse(line);
    if (!d.entries().empty()) out.push_back(d.entries().front());
  }
  return out;
}

CommandResult SnmpAgent::tool(const std::string& program, std::vector<std::string> args, int timeout_ms) const {
  std::vector<std::string> argv = {program, "-On"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_command(argv, {{"MIBS", ""}, {"HOME", dir_ + "/client"}, {"SNMP_PERSISTENT_DIR", dir_ + "/client"},
                            {"SNMPCONFPATH", dir_ + "/client"}},
                     timeout_ms);
}

std::vector<ToolLine> parse_tool_output(const std::string& output) {
  std::vector<ToolLine> lines;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find(" = ");
    if (line.empty() || line[0] != '.' || eq == std::string::npos) {
      // A string value that spans lines continues the previous one.
      if (!lines.empty() && !line.empty()) lines.back().value += "\n" + line;
      continue;
    }
    ToolLine t;
    t.oid = line.substr(1, eq - 1);
    std::string rest = line.substr(eq + 3);
    auto colon = rest.find(": ");
    if (colon != std::string::npos && rest.compare(0, 1, "\"") != 0) {
      t.type = rest.substr(0, colon);
      t.value = rest.substr(colon + 2);
    } else {
      t.value = rest;
    }
    if (t.value.size() >= 2 && t.value.front() == '"' && t.value.back() == '"')
      t.value = t.value.substr(1, t.value.size() - 2);
    lines.push_back(std::move(t));
  }
  return lines;
}

std::string snmp_environment_missing() {
  for (const char* p : {"snmpget", "snmpwalk", "snmpset"})
    if (!program_available(p)) return std::string(p) + " is not installed (Debian package snmp)";
  if (access("/usr/sbin/snmpd", X_OK) != 0 && !program_available("snmpd"))
    return "snmpd is not installed (Debian package snmpd)";
  if (access(fixture_server_program().c_str(), X_OK) != 0) return "morva-snmp-fixture is not built";
  return "";
}

}  // namespace morva::test
