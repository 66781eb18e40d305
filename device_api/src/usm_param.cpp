#include "device_api/usm_param.h"

#include <cstring>
#include <new>

namespace {

// Copies a caller's text into a zero-cleared field. A text that fills its
// whole source without a terminator is cut to the field width minus one.
template <std::size_t N, std::size_t M>
void copy_text(char (&field)[N], const char (&source)[M]) {
  static_assert(N >= M);
  std::memset(field, 0, N);
  std::size_t n = strnlen(source, M);
  if (n > N - 1) n = N - 1;
  std::memcpy(field, source, n);
}

template <std::size_t N>
void set_text(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::strncpy(field, text, N - 1);
}

bool in_range(std::int32_t v) { return v >= 0 && v <= 2; }

}  // namespace

CPSWPluginUSM::CPSWPluginUSM() { set_defaults(); }

void CPSWPluginUSM::set_defaults() {
  version_ = -1;
  set_text(security_name_, kPswDefaultSecurityName);
  security_level_ = 2;
  auth_protocol_ = 1;
  priv_protocol_ = 1;
  set_text(auth_passphrase_, kPswDefaultAuthPassphrase);
  set_text(priv_passphrase_, kPswDefaultPrivPassphrase);
  set_text(context_name_, "");
}

void CPSWPluginUSM::load_param(std::int32_t version, PSWUsmParam param) {
  set_defaults();
  if (in_range(version)) version_ = version;
  if (param.security_name[0]) copy_text(security_name_, param.security_name);
  if (in_range(param.security_level)) security_level_ = param.security_level;
  if (in_range(param.auth_protocol)) auth_protocol_ = param.auth_protocol;
  if (in_range(param.priv_protocol)) priv_protocol_ = param.priv_protocol;
  if (param.auth_passphrase[0]) copy_text(auth_passphrase_, param.auth_passphrase);
  if (param.priv_passphrase[0]) copy_text(priv_passphrase_, param.priv_passphrase);
  if (param.context_name[0]) copy_text(context_name_, param.context_name);
}

IPSWPluginUSM* psw_create_plugin_usm() { return new (std::nothrow) CPSWPluginUSM(); }
