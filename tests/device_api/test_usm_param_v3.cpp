// The SNMPv3 parameters as callers pass them, carried into a USM target
// and used for real requests: the defaults reach the default user, and
// loaded parameters reach the users they name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device_api/usm_param.h"
#include "snmp/v3_session.h"
#include "snmp_agent.h"
#include "temp_root.h"

namespace {

// The target a request object builds from the parameter object for
// selector 2: its numbers and texts exactly as given.
PmsOwn<IPmsSnmpTarget> target_from(const IPSWPluginUSM& p, std::uint16_t port) {
  PmsOwn<IPmsSnmpTarget> t = pms_create_usm_target(nullptr);
  t->set_timeout(3000);
  t->set_retries(1);
  t->set_version(kSnmpV3);
  t->set_address(pmc_create_network_address_from_text("127.0.0.1", port, nullptr).get());
  IPmsUsm* usm = t->as_usm();
  usm->set_security_name(p.get_security_name());
  usm->set_security_level(p.get_security_level());
  usm->set_auth_protocol(p.get_auth_protocol());
  usm->set_priv_protocol(p.get_priv_protocol());
  usm->set_auth_pass_phrase(p.get_auth_passphrase());
  usm->set_priv_pass_phrase(p.get_priv_passphrase());
  usm->set_context_name(p.get_context_name());
  return t;
}

int get_sys_name(IPmsSnmpTarget* t, std::string* name, std::int32_t* error_status = nullptr) {
  PmsOwn<IPmsPdu> p = pms_create_pdu(nullptr);
  p->set_type(kPduGet);
  p->append_new(pms_create_oid_from_string("1.3.6.1.2.1.1.5.0", nullptr), nullptr);
  v3RequestSession* s = pmc_create_v3_request_session(nullptr);
  int rc = s->send_sync(p.get(), t);
  s->release();
  if (rc != 0) return rc;
  if (error_status) *error_status = p->get_error_status();
  PmsOwn<IPmsOctetBuffer> text = p->get_var_bind_list()->get_at(0)->get_value()->to_text_buffer(nullptr);
  name->assign(text ? text->c_str() : "");
  return rc;
}

}  // namespace

TEST(UsmParamRequests, DefaultsAndLoadedParametersReachTheAgent) {
  if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  morva::test::TempRoot root;
  morva::test::SnmpAgentOptions o;
  o.with_default_user = true;
  morva::test::SnmpAgent agent(o);

  IPSWPluginUSM* p = psw_create_plugin_usm();
  ASSERT_NE(p, nullptr);
  std::string name;
  EXPECT_EQ(get_sys_name(target_from(*p, agent.port()).get(), &name), 0) << "the default user, authPriv MD5/DES";
  EXPECT_EQ(name, "corvane-m30-demo");

  const auto& u = morva::test::find_snmp_user("shaaes");
  PSWUsmParam param{};
  std::strcpy(param.security_name, u.name.c_str());
  param.security_level = 2;
  param.auth_protocol = 2;
  param.priv_protocol = 2;
  std::strcpy(param.auth_passphrase, u.auth_pass.c_str());
  std::strcpy(param.priv_passphrase, u.priv_pass.c_str());
  p->load_param(2, param);
  name.clear();
  EXPECT_EQ(get_sys_name(target_from(*p, agent.port()).get(), &name), 0);
  EXPECT_EQ(name, "corvane-m30-demo");

  const auto& auth_only = morva::test::find_snmp_user("md5auth");
  PSWUsmParam level1{};
  std::strcpy(level1.security_name, auth_only.name.c_str());
  level1.security_level = 1;
  level1.auth_protocol = 1;
  std::strcpy(level1.auth_passphrase, auth_only.auth_pass.c_str());
  p->load_param(2, level1);
  EXPECT_EQ(get_sys_name(target_from(*p, agent.port()).get(), &name), 0) << "authNoPriv";

  // The non-Ex forms load an all-zero record: noAuthNoPriv for the default
  // user, whom the agent serves only with authentication and privacy; the
  // answer refuses the access (authorizationError).
  p->load_param(0, PSWUsmParam{});
  std::int32_t status = 0;
  EXPECT_EQ(get_sys_name(target_from(*p, agent.port()).get(), &name, &status), 0);
  EXPECT_EQ(status, 16);
  p->release();
}
