// GoogleTest glue for the network-namespace runner of snmp_env/netns.h.
//
//   TEST(X, InsideNamespace) {
//     MORVA_SKIP_WITHOUT_NETNS();
//     morva::test::run_in_netns([&](morva::test::NetNamespace& ns) { ... EXPECT_* ... });
//   }
//   TEST(X, InForkedChild) {
//     MORVA_SKIP_WITHOUT_NETNS();
//     morva::test::expect_in_netns_process([&](morva::test::NetNamespace& ns) { ... });
//   }
#pragma once

#include <gtest/gtest.h>

#include "netns.h"

#define MORVA_SKIP_WITHOUT_NETNS()                                        \
  do {                                                                    \
    const std::string morva_netns_why = ::morva::test::netns_unavailable_reason(); \
    if (!morva_netns_why.empty()) GTEST_SKIP() << morva_netns_why;        \
  } while (0)

namespace morva::test {

// Runs the body in a forked child inside a fresh namespace; failures the
// child reports (EXPECT_*/ASSERT_*, printed by the child) fail this test.
inline void expect_in_netns_process(const std::function<void(NetNamespace&)>& body) {
  int rc = run_in_netns_process([&](NetNamespace& ns) {
    body(ns);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(rc, 0) << "the body failed inside its network namespace (see the output above)";
}

}  // namespace morva::test
