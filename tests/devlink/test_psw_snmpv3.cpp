// SNMPv3 through the PSW functions of libdevlink.so: each user of the real
// agent opens the demo device with PSWInitDeviceEx, reads its options (GET)
// and its tables (walks); wrong credentials fail with the SNMPv3 session's
// codes; four threads with their own handles ask at once.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "devlink_library.h"
#include "netns_test.h"
#include "snmp_agent.h"
#include "temp_root.h"

namespace {

using devlink_test::Devlink;
using devlink_test::usm_param;
using morva::test::SnmpUser;

constexpr int32_t kSecurityFailure = -214;

PSWUsmParam param_for(const SnmpUser& u) {
  const bool auth = u.auth != SnmpUser::Auth::kNone, priv = u.priv != SnmpUser::Priv::kNone;
  return usm_param(u.name, priv ? 2 : auth ? 1 : 0,
                   u.auth == SnmpUser::Auth::kMD5   ? 1
                   : u.auth == SnmpUser::Auth::kSHA ? 2
                                                    : 0,
                   u.priv == SnmpUser::Priv::kDES   ? 1
                   : u.priv == SnmpUser::Priv::kAES ? 2
                                                    : 0,
                   u.auth_pass, u.priv_pass);
}

class PswSnmpV3 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
    MORVA_SKIP_WITHOUT_NETNS();
  }

  void with_agent(const std::function<void()>& body) {
    morva::test::run_in_netns([&](morva::test::NetNamespace&) {
      morva::test::SnmpAgentOptions o;
      o.port = 161;
      o.with_default_user = true;
      morva::test::SnmpAgent agent(o);
      body();
    });
  }

  // Opens the device with the credentials, refreshes its options (GETs and
  // walks) and reads the input tray table (a walk): "" when every answer
  // is the demo device's, else what went wrong.
  std::string read_device(PSWHANDLE h, const PSWUsmParam& p) {
    if (int32_t r = d_.PSWInitDeviceEx(h, "127.0.0.1", 1, 2, p, 3000, 1)) return "open " + std::to_string(r);
    if (int32_t r = d_.PSWRefreshOptions(h)) return "refresh " + std::to_string(r);
    char name[256] = {};
    long memory = 0, trays = 0;
    d_.PSWGetOptionValueString(h, "SysName", 0, name);
    d_.PSWGetOptionValueInteger(h, "MemorySizeInKByte", 0, &memory);
    d_.PSWGetOptionValueInteger(h, "NumberOfInputTray", 0, &trays);
    if (std::string(name) != "corvane-m30-demo" || memory != 524288 || trays != 4)
      return "options " + std::string(name) + " " + std::to_string(memory) + " " + std::to_string(trays);
    int32_t n = 0;
    if (int32_t r = d_.PSWGetNumberOfInputTrayInfo(h, &n)) return "trays " + std::to_string(r);
    PSWInputTrayInfo tray{};
    if (n != 4 || d_.PSWGetInputTrayInfo(h, 3, &tray) != 0 || std::string(tray.name) != "Bypass tray")
      return "tray rows " + std::to_string(n) + " " + tray.name;
    return "";
  }

  morva::test::TempRoot root_;
  Devlink d_;
};

}  // namespace

TEST_F(PswSnmpV3, EveryUserReadsTheDevice) {
  with_agent([&] {
    PSWHANDLE h = nullptr;
    ASSERT_EQ(d_.PSWInit(&h), 0);
    for (const char* name : {"md5des", "md5aes", "shades", "shaaes", "shaauth"}) {
      const SnmpUser& u = morva::test::find_snmp_user(name);
      EXPECT_EQ(read_device(h, param_for(u)), "") << name;
    }
    // The default user with the default pass phrases: empty texts and
    // numbers out of range keep the built-in defaults.
    EXPECT_EQ(read_device(h, usm_param("", -1, -1, -1, "", "")), "") << "default user";
    d_.PSWUnInit(h);
  });
}

TEST_F(PswSnmpV3, WrongCredentialsFailWithTheSessionCodes) {
  with_agent([&] {
    PSWHANDLE h = nullptr;
    ASSERT_EQ(d_.PSWInit(&h), 0);
    SnmpUser wrong_pass = morva::test::find_snmp_user("shaaes");
    wrong_pass.auth_pass = "not-the-auth-pass";
    SnmpUser unknown = morva::test::find_snmp_user("md5des");
    unknown.name = "nobody-here";
    struct Case {
      const char* what;
      PSWUsmParam param;
    } cases[] = {{"wrong pass phrase", param_for(wrong_pass)}, {"unknown user", param_for(unknown)}};
    for (const auto& c : cases) {
      EXPECT_EQ(d_.PSWInitDeviceEx(h, "127.0.0.1", 1, 2, c.param, 1000, 0), kSecurityFailure) << c.what;
      EXPECT_EQ(d_.PSWRefreshOptions(h), kSecurityFailure) << c.what << ": the option object stays";
      int32_t n = 0;
      EXPECT_EQ(d_.PSWGetNumberOfTonerInfo(h, &n), -8) << c.what;
    }
    // The same handle recovers with the right credentials.
    EXPECT_EQ(read_device(h, param_for(morva::test::find_snmp_user("md5des"))), "");
    d_.PSWUnInit(h);
  });
}

TEST_F(PswSnmpV3, FourThreadsEachWithItsOwnHandle) {
  with_agent([&] {
    const char* users[] = {"md5des", "md5aes", "shades", "shaaes"};
    std::string results[4];
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
      threads.emplace_back([&, i] {
        PSWHANDLE h = nullptr;
        if (d_.PSWInit(&h) != 0) {
          results[i] = "init";
          return;
        }
        const PSWUsmParam p = param_for(morva::test::find_snmp_user(users[i]));
        for (int round = 0; round < 2 && results[i].empty(); ++round) results[i] = read_device(h, p);
        d_.PSWUnInit(h);
      });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(results[i], "") << users[i];
  });
}
