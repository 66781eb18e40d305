#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device_api/usm_param.h"

namespace {

struct Usm {
  IPSWPluginUSM* p = psw_create_plugin_usm();
  ~Usm() { p->release(); }
  IPSWPluginUSM* operator->() const { return p; }
};

PSWUsmParam zero_param() {
  PSWUsmParam r;
  std::memset(&r, 0, sizeof r);
  return r;
}

void expect_default_texts(const Usm& u) {
  EXPECT_STREQ(u->get_security_name(), "Dezaruza");
  EXPECT_STREQ(u->get_auth_passphrase(), "7kepRoVUdaq38mibTe5w");
  EXPECT_STREQ(u->get_priv_passphrase(), "MOLAS41wipEnrogu8ta2");
  EXPECT_STREQ(u->get_context_name(), "");
}

TEST(UsmParam, StartsWithTheDefaults) {
  Usm u;
  EXPECT_EQ(u->get_version(), -1);
  EXPECT_EQ(u->get_security_level(), 2);
  EXPECT_EQ(u->get_auth_protocol(), 1);
  EXPECT_EQ(u->get_priv_protocol(), 1);
  expect_default_texts(u);
}

TEST(UsmParam, AllZeroRecordClearsTheNumbersAndKeepsTheTexts) {
  Usm u;
  u->load_param(0, zero_param());
  EXPECT_EQ(u->get_version(), 0);
  EXPECT_EQ(u->get_security_level(), 0);
  EXPECT_EQ(u->get_auth_protocol(), 0);
  EXPECT_EQ(u->get_priv_protocol(), 0);
  expect_default_texts(u);
}

TEST(UsmParam, OutOfRangeValuesKeepTheDefaults) {
  Usm u;
  PSWUsmParam p = zero_param();
  p.security_level = 7;
  p.auth_protocol = -1;
  p.priv_protocol = 3;
  u->load_param(3, p);
  EXPECT_EQ(u->get_version(), -1);
  EXPECT_EQ(u->get_security_level(), 2);
  EXPECT_EQ(u->get_auth_protocol(), 1);
  EXPECT_EQ(u->get_priv_protocol(), 1);
  u->load_param(-2, p);
  EXPECT_EQ(u->get_version(), -1);
}

TEST(UsmParam, EachLoadStartsFromTheDefaults) {
  Usm u;
  PSWUsmParam p = zero_param();
  std::strcpy(p.security_name, "shaaes");
  std::strcpy(p.auth_passphrase, "shaaes-auth-pass");
  std::strcpy(p.priv_passphrase, "shaaes-priv-pass");
  std::strcpy(p.context_name, "ctx");
  p.security_level = 1;
  p.auth_protocol = 2;
  p.priv_protocol = 2;
  u->load_param(2, p);
  EXPECT_EQ(u->get_version(), 2);
  EXPECT_STREQ(u->get_security_name(), "shaaes");
  EXPECT_STREQ(u->get_auth_passphrase(), "shaaes-auth-pass");
  EXPECT_STREQ(u->get_priv_passphrase(), "shaaes-priv-pass");
  EXPECT_STREQ(u->get_context_name(), "ctx");
  EXPECT_EQ(u->get_security_level(), 1);
  EXPECT_EQ(u->get_auth_protocol(), 2);
  EXPECT_EQ(u->get_priv_protocol(), 2);

  PSWUsmParam q = zero_param();
  q.security_level = 9;
  q.auth_protocol = 9;
  q.priv_protocol = 9;
  u->load_param(2, q);
  EXPECT_EQ(u->get_security_level(), 2);
  EXPECT_EQ(u->get_auth_protocol(), 1);
  EXPECT_EQ(u->get_priv_protocol(), 1);
  expect_default_texts(u);
}

TEST(UsmParam, UnterminatedTextsAreCutToTheFieldWidth) {
  Usm u;
  PSWUsmParam p = zero_param();
  std::memset(p.security_name, 'n', sizeof p.security_name);
  std::memset(p.auth_passphrase, 'a', sizeof p.auth_passphrase);
  std::memset(p.priv_passphrase, 'p', sizeof p.priv_passphrase);
  std::memset(p.context_name, 'c', sizeof p.context_name);
  u->load_param(2, p);
  EXPECT_EQ(std::string(u->get_security_name()), std::string(63, 'n'));
  EXPECT_EQ(std::string(u->get_auth_passphrase()), std::string(63, 'a'));
  EXPECT_EQ(std::string(u->get_priv_passphrase()), std::string(63, 'p'));
  EXPECT_EQ(std::string(u->get_context_name()), std::string(511, 'c'));
}

}  // namespace
