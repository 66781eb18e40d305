// SNMPv3 user-based security parameters of a management handle.
//
// A caller hands its parameters by value in a PSWUsmParam record together
// with a version selector; the handle keeps them in one CPSWPluginUSM,
// which starts from built-in defaults and goes back to them at every load,
// so a field the caller leaves empty or out of range keeps its default.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_api/psw_types.h"

// PSWUsmParam, the record that crosses the exported boundary by value, is
// in the C header psw_types.h.

class IPSWPluginUSM {
 public:
  // Resets the defaults, then takes the selector (0..2) and every valid
  // field of the record (non-empty text, number in 0..2).
  virtual void load_param(std::int32_t version, PSWUsmParam param) = 0;
  virtual void release() = 0;
  // Version selector: 2 selects SNMPv3, anything else SNMPv1 with a
  // community; -1 when none was given.
  virtual std::int32_t get_version() const = 0;
  // The text getters lend the object's own fields: valid until it is
  // destroyed, and changed by a later load.
  virtual const char* get_security_name() const = 0;
  virtual std::int32_t get_security_level() const = 0;
  virtual std::int32_t get_auth_protocol() const = 0;
  virtual std::int32_t get_priv_protocol() const = 0;
  virtual const char* get_auth_passphrase() const = 0;
  virtual const char* get_priv_passphrase() const = 0;
  virtual const char* get_context_name() const = 0;

 protected:
  virtual ~IPSWPluginUSM() = default;
};

inline constexpr const char* kPswDefaultSecurityName = "Dezaruza";
inline constexpr const char* kPswDefaultAuthPassphrase = "7kepRoVUdaq38mibTe5w";
inline constexpr const char* kPswDefaultPrivPassphrase = "MOLAS41wipEnrogu8ta2";

class CPSWPluginUSM final : public IPSWPluginUSM {
 public:
  CPSWPluginUSM();
  void load_param(std::int32_t version, PSWUsmParam param) override;
  void release() override { delete this; }
  std::int32_t get_version() const override { return version_; }
  const char* get_security_name() const override { return security_name_; }
  std::int32_t get_security_level() const override { return security_level_; }
  std::int32_t get_auth_protocol() const override { return auth_protocol_; }
  std::int32_t get_priv_protocol() const override { return priv_protocol_; }
  const char* get_auth_passphrase() const override { return auth_passphrase_; }
  const char* get_priv_passphrase() const override { return priv_passphrase_; }
  const char* get_context_name() const override { return context_name_; }

 private:
  ~CPSWPluginUSM() override = default;
  void set_defaults();

  std::int32_t version_;
  char security_name_[64];
  std::int32_t security_level_;
  std::int32_t auth_protocol_;
  std::int32_t priv_protocol_;
  char auth_passphrase_[64];
  char priv_passphrase_[64];
  char context_name_[512];
};

// A parameter object holding the defaults; nullptr when memory is short.
IPSWPluginUSM* psw_create_plugin_usm();
