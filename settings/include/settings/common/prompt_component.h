// Identifiers of the outside print-time prompt component: a primary class
// with its interface, else a secondary class with its own. Only the primary
// class supports a fourth field.
#pragma once

#include "win/com.h"

// {B285367F-424C-4029-9BB9-8991033643DB}
inline constexpr CLSID CLSID_PromptComponentPrimary = {
    0xb285367f, 0x424c, 0x4029, {0x9b, 0xb9, 0x89, 0x91, 0x03, 0x36, 0x43, 0xdb}};
// {7777CB70-E2AB-4C1A-8C92-95E15934D5A3}
inline constexpr IID IID_PromptComponentPrimary = {
    0x7777cb70, 0xe2ab, 0x4c1a, {0x8c, 0x92, 0x95, 0xe1, 0x59, 0x34, 0xd5, 0xa3}};
// {717EFDD2-A144-48DD-A137-0D67C5BDC123}
inline constexpr CLSID CLSID_PromptComponentSecondary = {
    0x717efdd2, 0xa144, 0x48dd, {0xa1, 0x37, 0x0d, 0x67, 0xc5, 0xbd, 0xc1, 0x23}};
// {C19C56DB-2486-4DB2-A132-88843D7E7EC5}
inline constexpr IID IID_PromptComponentSecondary = {
    0xc19c56db, 0x2486, 0x4db2, {0xa1, 0x32, 0x88, 0x84, 0x3d, 0x7e, 0x7e, 0xc5}};

// Class contexts the component is created in.
inline constexpr DWORD kPromptComponentContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
