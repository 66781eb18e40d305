// The device status report of the demo step, against the real agent
// serving the demo device on 127.0.0.1:161 inside a namespace of its own.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "device_status.h"
#include "devlink_library.h"
#include "netns_test.h"
#include "snmp_agent.h"
#include "temp_root.h"

namespace {

class DeviceStatus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
    MORVA_SKIP_WITHOUT_NETNS();
  }
  morva::test::TempRoot root_;
};

}  // namespace

TEST_F(DeviceStatus, ReportOfTheDemoDeviceAndOfNoDevice) {
  morva::test::run_in_netns([&](morva::test::NetNamespace&) {
    morva::test::SnmpAgentOptions o;
    o.port = 161;
    morva::test::SnmpAgent agent(o);
    morva::device_status::Request r;
    r.library = devlink_test::library_path();
    r.address = "127.0.0.1";
    std::ostringstream out, err;
    ASSERT_EQ(morva::device_status::report(r, out, err), 0) << err.str();
    const std::string text = out.str();
    for (const char* expected :
         {"Corvane M30 at 127.0.0.1", "corvane-m30-demo", "512 MB", "scanner, copier, fax unit",
          "idle; low paper", "Fax over SIP", "down", "Tray 1", "ISO A4 (210 x 297 mm)", "250 of 500 sheets (50%)",
          "some paper left", "Finisher tray", "Black toner", "95%", "Tray 2 is low on paper (input, code 808)",
          "JB000001  \"Quarterly report.pdf\" from alice: Printing, since 2026-12-10 14:05:30"})
      EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_EQ(err.str(), "");

    r.address = "127.0.0.2";  // nothing answers there
    r.timeout_ms = 200;
    r.retries = 0;
    std::ostringstream out2, err2;
    EXPECT_EQ(morva::device_status::report(r, out2, err2), 1);
    EXPECT_NE(err2.str().find("cannot open the device at 127.0.0.2: -203"), std::string::npos) << err2.str();

    r.library = "/nonexistent/libdevlink.so";
    std::ostringstream out3, err3;
    EXPECT_EQ(morva::device_status::report(r, out3, err3), 1);
    EXPECT_NE(err3.str().find("cannot load"), std::string::npos);
  });
}
