// Device option classes: read a device's configuration over SNMP once
// (refresh_options) and answer questions about it by option name.
// CPSWDevCommOption holds the reading and answering logic of the device
// family; CPSWRustmossOption adds the supported-model check.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_api/usm_param.h"
#include "snmp/network_address.h"

class IPmcGetData;

// The two option classes are exported from libdevlink.so under their
// decorated names (members, vtables, typeinfo), so outside callers may use
// them directly; their members are all defined out of line for that.
#define PSW_EXPORTED_CLASS __attribute__((visibility("default")))

class IPSWDeviceOption {
 public:
  virtual void destroy() = 0;
  virtual void SetCommunityStr(const char* community) = 0;
  virtual long refresh_options() = 0;
  virtual long Init(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm,
                    unsigned long timeout, unsigned long retries, unsigned long max_message_size) = 0;
  virtual bool is_supported_OID(const char* prefix) = 0;
  virtual long get_option(const char* name, const char** value, int index) const = 0;
  virtual long get_option(const char* name, unsigned long* value, int index) const = 0;
  virtual long get_option(const char* name, long* value, int index) const = 0;
  virtual long get_option(const char* name, bool* value, int index) const = 0;

 protected:
  virtual ~IPSWDeviceOption() = default;
};

struct SupportedModel {
  const char* sys_object_id;
  const char* model_name;
};
inline constexpr std::size_t kSupportedModelCount = 12;
extern const SupportedModel SupportedModelTable[kSupportedModelCount];

// True when oid equals the row's OID or continues it after a ".".
bool psw_matches_model_oid(const char* oid, const char* model_oid);

struct MediumSize {
  std::int32_t short_edge_um;
  std::int32_t long_edge_um;
  std::int32_t code;
};
inline constexpr std::size_t kMediumSizeCount = 68;
extern const MediumSize MediumSizeTable[kMediumSizeCount];

class PSW_EXPORTED_CLASS CPSWDevCommOption : public IPSWDeviceOption {
 public:
  struct DeviceRow {
    std::int32_t index;
    std::int32_t status;
    char description[64];
  };
  struct InputTrayRow {
    std::int32_t row;
    std::int32_t type;
    std::int32_t media_size;
    std::int32_t media_direction;
    std::int32_t max_capacity;
    std::int32_t level_percent;
    std::int32_t dim_feed;
    std::int32_t dim_xfeed;
    char name[64];
    char description[256];
    char media_type[256];
  };
  struct OutputTrayRow {
    std::int32_t row;
    std::int32_t type;
    std::int32_t offset_stacking;
  };
  static constexpr int kMaxDevices = 50;
  static constexpr int kMaxInputTrays = 20;
  static constexpr int kMaxOutputTrays = 20;

  CPSWDevCommOption();
  CPSWDevCommOption(const CPSWDevCommOption&);
  CPSWDevCommOption& operator=(const CPSWDevCommOption&);
  ~CPSWDevCommOption() override;

  void destroy() override;
  void SetCommunityStr(const char* community) override;
  long refresh_options() override;
  long Init(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm, unsigned long timeout,
            unsigned long retries, unsigned long max_message_size) override;
  long get_option(const char* name, const char** value, int index) const override;
  long get_option(const char* name, unsigned long* value, int index) const override;
  long get_option(const char* name, long* value, int index) const override;
  long get_option(const char* name, bool* value, int index) const override;

 protected:
  template <typename Device>
  friend long psw_take_target(Device&, IPmcNetworkAddress::EProtocol, const char*, IPSWPluginUSM*, unsigned long,
                              unsigned long, unsigned long);
  void initialize_data();
  bool has_device_index(std::int32_t index, std::int32_t* status) const;
  long parse_version_value();
  static void MediaDimensionToMediumSize(std::int32_t unit, std::int32_t feed, std::int32_t xfeed,
                                         std::int32_t* code, std::int32_t* direction);
  static void ConvertMediumLevel(std::int32_t unit, std::int32_t maximum, std::int32_t level,
                                 std::int32_t* capacity, std::int32_t* percent);

  long refresh_system_attributes();
  long refresh_hrdevice_table();
  long refresh_input_tray_table();
  long refresh_output_tray_table();
  long refresh_memory_size();
  long refresh_prt_media_table();
  long refresh_netware_attributes();
  long refresh_fax_attributes();
  long refresh_vcm_hrdev_detail_setting();
  long refresh_vcm_hrdev_detail_setting2();
  long refresh_vcm_hrdev_detail_setting3();
  long refresh_finisher_booklet_info();

  // A request object initialised for the device (failures logged).
  long open_request(IPmcGetData** out) const;
  long add_oids(IPmcGetData* request, const char* const* oids, std::size_t n, bool scalar) const;

  IPmcNetworkAddress::EProtocol protocol_ = IPmcNetworkAddress::kUnspecified;
  char address_[64];
  std::uint16_t port_ = 0;
  std::uint32_t timeout_ = 0;
  std::uint32_t retries_ = 0;
  std::uint32_t max_message_size_ = 0;
  // SNMPv3 values, copied at Init: the texts are the object's own, so a
  // later load of the parameter object (another discovery with other
  // credentials) cannot change the credentials this device uses.
  std::int32_t v3_version_ = -1;
  char v3_security_name_[64];
  std::int32_t v3_security_level_ = 0;
  std::int32_t v3_auth_protocol_ = 0;
  std::int32_t v3_priv_protocol_ = 0;
  char v3_auth_passphrase_[64];
  char v3_priv_passphrase_[64];
  char v3_context_name_[512];
  char community_[256];
  bool use_community_ = false;

  char rom_version_[64];
  char sys_name_[256];
  char netware_sap_unit_name_[256];
  bool duplex_ = false;
  bool manual_tray_ = false;
  bool offset_stacking_ = false;
  bool fax_isdn_g4_kit_ = false;
  bool fax_line_switch_kit_ = false;
  std::int32_t memory_size_ = 0;
  std::int32_t fax_speed_dials_ = 0;
  std::int32_t fax_type_ = 0;
  std::int32_t rom_major_ = 0;
  std::int32_t rom_minor_ = 0;
  std::int32_t rom_revision_ = 0;
  std::int32_t paper_size_group_ = 0;
  std::int32_t paper_size_8k_ = 0;
  std::int32_t booklet_max_impression_ = 0;
  std::int32_t limited_color_ = 0;
  std::int32_t min_password_length_ = 0;
  std::int32_t user_prompt_ = 0;
  std::int32_t long_size_detection_ = 0;
  std::int32_t envelope_as_paper_type_ = 0;
  std::int32_t device_count_ = 0;
  DeviceRow devices_[kMaxDevices];
  std::int32_t input_tray_count_ = 0;
  InputTrayRow input_trays_[kMaxInputTrays];
  std::int32_t output_tray_count_ = 0;
  OutputTrayRow output_trays_[kMaxOutputTrays];

 private:
  struct BoolOption;
  struct IntOption;
  struct TextOption;
  static const BoolOption kBoolOptions[];
  static const IntOption kIntOptions[];
  static const TextOption kTextOptions[];
  bool any_device(const std::int32_t* indexes) const;
};

class PSW_EXPORTED_CLASS CPSWRustmossOption : public CPSWDevCommOption {
 public:
  CPSWRustmossOption();
  CPSWRustmossOption(const CPSWRustmossOption&);
  CPSWRustmossOption& operator=(const CPSWRustmossOption&);
  ~CPSWRustmossOption() override;

  long Init(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm, unsigned long timeout,
            unsigned long retries, unsigned long max_message_size) override;
  bool is_supported_OID(const char* prefix) override;
  long get_option(const char* name, const char** value, int index) const override;
  long get_option(const char* name, unsigned long* value, int index) const override;
  long get_option(const char* name, long* value, int index) const override;
  long get_option(const char* name, bool* value, int index) const override;

  const char* sys_object_id() const;

 private:
  long is_supported_device();
  char sys_object_id_[256];
};
