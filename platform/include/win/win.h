// Everything the platform layer declares, for code that wants it all.
#pragma once

#include "win/endian.h"
#include "win/errors.h"
#include "win/gdi_types.h"
#include "win/machine_root.h"
#include "win/memory.h"
#include "win/types.h"
