/* Records that cross the exported boundary of libdevlink.so: the SNMPv3
 * parameters a caller passes by value and the status records the table
 * functions fill. Plain C, so outside callers written in C can use them;
 * little-endian 32-bit integers, texts zero-terminated and zero-padded,
 * sizes and offsets fixed. */
#ifndef DEVICE_API_PSW_TYPES_H
#define DEVICE_API_PSW_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define PSW_LAYOUT_ASSERT(cond) static_assert(cond, #cond)
extern "C" {
#else
#define PSW_LAYOUT_ASSERT(cond) _Static_assert(cond, #cond)
#endif

/* SNMPv3 user-based security parameters (716 bytes). An empty text or a
 * number outside 0..2 keeps the built-in default. */
typedef struct PSWUsmParam {
  char security_name[64];
  int32_t security_level; /* 0 noAuthNoPriv, 1 authNoPriv, 2 authPriv */
  int32_t auth_protocol;  /* 0 none, 1 HMAC-MD5, 2 HMAC-SHA1 */
  int32_t priv_protocol;  /* 0 none, 1 DES, 2 AES */
  char auth_passphrase[64];
  char priv_passphrase[64];
  char context_name[512];
} PSWUsmParam;
PSW_LAYOUT_ASSERT(sizeof(PSWUsmParam) == 716);
PSW_LAYOUT_ASSERT(offsetof(PSWUsmParam, security_level) == 64);
PSW_LAYOUT_ASSERT(offsetof(PSWUsmParam, auth_protocol) == 68);
PSW_LAYOUT_ASSERT(offsetof(PSWUsmParam, priv_protocol) == 72);
PSW_LAYOUT_ASSERT(offsetof(PSWUsmParam, auth_passphrase) == 76);
PSW_LAYOUT_ASSERT(offsetof(PSWUsmParam, priv_passphrase) == 140);
PSW_LAYOUT_ASSERT(offsetof(PSWUsmParam, context_name) == 204);

typedef struct PSWStorageInfo {
  int32_t type;             /* 1..8 from hrStorageType, else 0 */
  int32_t allocation_units; /* hrStorageAllocationUnits */
  int32_t size;             /* hrStorageSize */
  char description[256];    /* hrStorageDescr */
} PSWStorageInfo;
PSW_LAYOUT_ASSERT(sizeof(PSWStorageInfo) == 268);
PSW_LAYOUT_ASSERT(offsetof(PSWStorageInfo, description) == 12);

typedef struct PSWDeviceInfo {
  int32_t type;   /* device type code */
  int32_t status; /* hrDeviceStatus */
  char description[256];
} PSWDeviceInfo;
PSW_LAYOUT_ASSERT(sizeof(PSWDeviceInfo) == 264);
PSW_LAYOUT_ASSERT(offsetof(PSWDeviceInfo, description) == 8);

typedef struct PSWInputTrayInfo {
  int32_t type;
  int32_t dim_unit;
  int32_t feed_dir_declared;
  int32_t xfeed_dir_declared;
  int32_t feed_dir_chosen;
  int32_t xfeed_dir_chosen;
  int32_t capacity_unit;
  int32_t max_capacity;
  int32_t current_level;
  int32_t status;
  char media_name[64];
  char name[64];
  char description[256];
  char media_type[64];
  char media_color[64];
} PSWInputTrayInfo;
PSW_LAYOUT_ASSERT(sizeof(PSWInputTrayInfo) == 552);
PSW_LAYOUT_ASSERT(offsetof(PSWInputTrayInfo, status) == 36);
PSW_LAYOUT_ASSERT(offsetof(PSWInputTrayInfo, media_name) == 40);
PSW_LAYOUT_ASSERT(offsetof(PSWInputTrayInfo, name) == 104);
PSW_LAYOUT_ASSERT(offsetof(PSWInputTrayInfo, description) == 168);
PSW_LAYOUT_ASSERT(offsetof(PSWInputTrayInfo, media_type) == 424);
PSW_LAYOUT_ASSERT(offsetof(PSWInputTrayInfo, media_color) == 488);

typedef struct PSWInputTrayInfoEx {
  PSWInputTrayInfo tray;
  int32_t private_type; /* -1 when the private column was not read */
  uint8_t reserved[8];  /* zero */
} PSWInputTrayInfoEx;
PSW_LAYOUT_ASSERT(sizeof(PSWInputTrayInfoEx) == 564);
PSW_LAYOUT_ASSERT(offsetof(PSWInputTrayInfoEx, private_type) == 552);
PSW_LAYOUT_ASSERT(offsetof(PSWInputTrayInfoEx, reserved) == 556);

typedef struct PSWOutputTrayInfo {
  int32_t type;
  int32_t status;
  char name[64];
  char description[256];
} PSWOutputTrayInfo;
PSW_LAYOUT_ASSERT(sizeof(PSWOutputTrayInfo) == 328);
PSW_LAYOUT_ASSERT(offsetof(PSWOutputTrayInfo, name) == 8);
PSW_LAYOUT_ASSERT(offsetof(PSWOutputTrayInfo, description) == 72);

typedef struct PSWTonerInfo {
  int32_t supply_unit;
  int32_t max_capacity;
  int32_t level;
  char description[256];
} PSWTonerInfo;
PSW_LAYOUT_ASSERT(sizeof(PSWTonerInfo) == 268);
PSW_LAYOUT_ASSERT(offsetof(PSWTonerInfo, description) == 12);

typedef struct PSWAlertInfo {
  int32_t severity_level;
  int32_t group;
  int32_t group_index;
  int32_t location;
  int32_t code;
  char description[256];
} PSWAlertInfo;
PSW_LAYOUT_ASSERT(sizeof(PSWAlertInfo) == 276);
PSW_LAYOUT_ASSERT(offsetof(PSWAlertInfo, description) == 20);

typedef struct PSWDateTime {
  int16_t year;
  int16_t month;
  int16_t day;
  int16_t hour;
  int16_t minutes;
  int16_t seconds;
} PSWDateTime;
PSW_LAYOUT_ASSERT(sizeof(PSWDateTime) == 12);
PSW_LAYOUT_ASSERT(offsetof(PSWDateTime, seconds) == 10);

typedef struct PSWJobInfo {
  int32_t state;   /* 1..12 from J6.4, else 0 */
  int32_t j6_9;    /* signed; 17 marks the second job class */
  int32_t j6_10;   /* signed */
  uint32_t j16_5;  /* unsigned */
  uint32_t j16_6;  /* unsigned */
  char text_j6_5[256]; /* looked-up texts */
  char text_j6_6[256];
  char text_j10_7[256];
  char job_id[256]; /* identifier from the J10.7 index */
  char j6_3[256];
  PSWDateTime time_j10_10;
  PSWDateTime time_j16_4;
  PSWDateTime time_j16_7;
} PSWJobInfo;
PSW_LAYOUT_ASSERT(sizeof(PSWJobInfo) == 1336);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, j16_6) == 16);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, text_j6_5) == 20);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, text_j6_6) == 276);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, text_j10_7) == 532);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, job_id) == 788);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, j6_3) == 1044);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, time_j10_10) == 1300);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, time_j16_4) == 1312);
PSW_LAYOUT_ASSERT(offsetof(PSWJobInfo, time_j16_7) == 1324);

#ifdef __cplusplus
}
#endif
#undef PSW_LAYOUT_ASSERT

#endif /* DEVICE_API_PSW_TYPES_H */
