// The CryptoAPI: providers with key containers, MD5 and SHA-1 hashes,
// DES and AES-128 session keys, RSA key-exchange pairs and random bytes.
// The module "advapi32.dll" exports these entries (with the ANSI registry
// calls) through the platform loader.
#pragma once

#include "win/types.h"

using HCRYPTPROV = ULONG_PTR;
using HCRYPTKEY = ULONG_PTR;
using HCRYPTHASH = ULONG_PTR;
using ALG_ID = unsigned int;

#define PROV_RSA_FULL 1u
#define PROV_RSA_SCHANNEL 12u
#define PROV_DH_SCHANNEL 18u
#define PROV_RSA_AES 24u

#define CRYPT_NEWKEYSET 0x00000008u
#define CRYPT_DELETEKEYSET 0x00000010u
#define CRYPT_MACHINE_KEYSET 0x00000020u
#define CRYPT_SILENT 0x00000040u
#define CRYPT_VERIFYCONTEXT 0xF0000000u

#define CRYPT_EXPORTABLE 0x00000001u

#define CALG_MD5 0x00008003u
#define CALG_SHA1 0x00008004u
#define CALG_DES 0x00006601u
#define CALG_AES_128 0x0000660Eu
#define CALG_RSA_KEYX 0x0000A400u

#define AT_KEYEXCHANGE 1u
#define AT_SIGNATURE 2u

#define HP_ALGID 0x0001u
#define HP_HASHVAL 0x0002u
#define HP_HASHSIZE 0x0004u

#define KP_IV 1u
#define KP_PADDING 3u
#define KP_MODE 4u
#define KP_ALGID 7u
#define KP_KEYLEN 9u

#define CRYPT_MODE_CBC 1u
#define CRYPT_MODE_ECB 2u
#define PKCS5_PADDING 1u

#define SIMPLEBLOB 0x1u
#define PLAINTEXTKEYBLOB 0x8u
#define CUR_BLOB_VERSION 2u

#define NTE_BAD_HASH 0x80090002u
#define NTE_BAD_KEY 0x80090003u
#define NTE_BAD_LEN 0x80090004u
#define NTE_BAD_DATA 0x80090005u
#define NTE_BAD_VER 0x80090007u
#define NTE_BAD_ALGID 0x80090008u
#define NTE_BAD_FLAGS 0x80090009u
#define NTE_BAD_TYPE 0x8009000Au
#define NTE_BAD_HASH_STATE 0x8009000Cu
#define NTE_NO_KEY 0x8009000Du
#define NTE_NO_MEMORY 0x8009000Eu
#define NTE_EXISTS 0x8009000Fu
#define NTE_BAD_UID 0x80090001u
#define NTE_BAD_KEYSET 0x80090016u
#define NTE_PROV_TYPE_NOT_DEF 0x80090017u
#define NTE_KEYSET_NOT_DEF 0x80090019u
#define NTE_BAD_PROV_TYPE 0x80090014u
#define NTE_FAIL 0x80090020u

// The header of a key blob (8 bytes, little-endian on the wire).
struct BLOBHEADER {
  BYTE bType;
  BYTE bVersion;
  WORD reserved;
  ALG_ID aiKeyAlg;
};
static_assert(sizeof(BLOBHEADER) == 8);

extern "C" {
MORVA_WIN_API BOOL CryptAcquireContextA(HCRYPTPROV* prov, LPCSTR container, LPCSTR provider, DWORD type, DWORD flags);
MORVA_WIN_API BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD flags);
MORVA_WIN_API BOOL CryptGenRandom(HCRYPTPROV prov, DWORD length, BYTE* buffer);

MORVA_WIN_API BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID alg, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash);
MORVA_WIN_API BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags);
MORVA_WIN_API BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* length, DWORD flags);
MORVA_WIN_API BOOL CryptDestroyHash(HCRYPTHASH hash);

MORVA_WIN_API BOOL CryptGenKey(HCRYPTPROV prov, ALG_ID alg, DWORD flags, HCRYPTKEY* key);
MORVA_WIN_API BOOL CryptGetUserKey(HCRYPTPROV prov, DWORD key_spec, HCRYPTKEY* key);
MORVA_WIN_API BOOL CryptDeriveKey(HCRYPTPROV prov, ALG_ID alg, HCRYPTHASH hash, DWORD flags, HCRYPTKEY* key);
MORVA_WIN_API BOOL CryptImportKey(HCRYPTPROV prov, const BYTE* blob, DWORD length, HCRYPTKEY pub_key, DWORD flags,
                                  HCRYPTKEY* key);
MORVA_WIN_API BOOL CryptSetKeyParam(HCRYPTKEY key, DWORD param, const BYTE* data, DWORD flags);
MORVA_WIN_API BOOL CryptGetKeyParam(HCRYPTKEY key, DWORD param, BYTE* data, DWORD* length, DWORD flags);
// Block keys: on input *length bytes of data in a buffer of buffer_length
// bytes; `final` adds PKCS#5 padding (encrypt) or removes it (decrypt) and
// resets the chaining to the key's IV. Without `final` the length must be
// a multiple of the block size. RSA exchange keys encrypt one block with
// PKCS#1 v1.5 padding; the result is little-endian, as the API's blobs are.
// A null data pointer asks for the output size only.
MORVA_WIN_API BOOL CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length,
                                DWORD buffer_length);
MORVA_WIN_API BOOL CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length);
MORVA_WIN_API BOOL CryptDestroyKey(HCRYPTKEY key);
}

namespace morva::platform {
// Test hook: while refused, every CryptAcquireContextA of a provider type
// fails with NTE_PROV_TYPE_NOT_DEF.
MORVA_WIN_API void crypt_refuse_provider_type(DWORD type, bool refused);
// Registers (again) "advapi32.dll" with its full export list; tests that
// replaced it call this to put it back.
MORVA_WIN_API void crypt_register_module();
}  // namespace morva::platform
