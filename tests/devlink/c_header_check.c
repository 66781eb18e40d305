/* Compiled as C: the public header of libdevlink.so needs no C++. */
#include "device_api/psw.h"

typedef int32_t (*InitFn)(PSWHANDLE*);
typedef PSWBOOL (*NextFn)(PSWHANDLE, char*, char*, char*, char*);
typedef int32_t (*InitDeviceExFn)(PSWHANDLE, const char*, int32_t, int32_t, PSWUsmParam, uint32_t, uint32_t);

InitFn devlink_c_check_init = PSWInit;
NextFn devlink_c_check_next = PSWGetDeviceNext;
InitDeviceExFn devlink_c_check_init_ex = PSWInitDeviceEx;
