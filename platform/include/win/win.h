// Everything the platform layer declares, for code that wants it all.
#pragma once

#include "win/codepage.h"
#include "win/debug.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/format.h"
#include "win/gdi_types.h"
#include "win/machine_root.h"
#include "win/machine_settings.h"
#include "win/machine_store.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/paths.h"
#include "win/registry.h"
#include "win/spooler.h"
#include "win/strings.h"
#include "win/types.h"
