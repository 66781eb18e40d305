// SNMPv3 cryptography over the CryptoAPI.
//
// Three process-wide contexts: one for digests, HMAC and random bytes, one
// for DES, one for AES. Each carries a lock of its own and every operation
// holds it from acquiring to the last call: CryptoAPI hash and key handles
// keep running state (chaining, IVs, partial digests), so two threads must
// never interleave on one context.
#include "snmp/crypto_backend.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "snmp/per_thread_store.h"
#include "win/crypt.h"
#include "win/errors.h"
#include "win/modules.h"

namespace {

using PFN_CryptAcquireContextA = decltype(&CryptAcquireContextA);
using PFN_CryptCreateHash = decltype(&CryptCreateHash);
using PFN_CryptHashData = decltype(&CryptHashData);
using PFN_CryptGetHashParam = decltype(&CryptGetHashParam);
using PFN_CryptDeriveKey = decltype(&CryptDeriveKey);
using PFN_CryptGetUserKey = decltype(&CryptGetUserKey);
using PFN_CryptGenKey = decltype(&CryptGenKey);
using PFN_CryptEncrypt = decltype(&CryptEncrypt);
using PFN_CryptImportKey = decltype(&CryptImportKey);
using PFN_CryptSetKeyParam = decltype(&CryptSetKeyParam);
using PFN_CryptDecrypt = decltype(&CryptDecrypt);
using PFN_CryptGenRandom = decltype(&CryptGenRandom);
using PFN_CryptDestroyKey = decltype(&CryptDestroyKey);
using PFN_CryptDestroyHash = decltype(&CryptDestroyHash);
using PFN_CryptReleaseContext = decltype(&CryptReleaseContext);

struct Api {
  FARPROC RegCloseKey, RegQueryValueExA, RegOpenKeyExA, RegCreateKeyA, RegCreateKeyExA, RegDeleteKeyA, RegQueryInfoKeyA,
      RegSetValueExA;
  PFN_CryptAcquireContextA CryptAcquireContextA;
  PFN_CryptCreateHash CryptCreateHash;
  PFN_CryptHashData CryptHashData;
  PFN_CryptGetHashParam CryptGetHashParam;
  PFN_CryptDeriveKey CryptDeriveKey;
  PFN_CryptGetUserKey CryptGetUserKey;
  PFN_CryptGenKey CryptGenKey;
  PFN_CryptEncrypt CryptEncrypt;
  PFN_CryptImportKey CryptImportKey;
  PFN_CryptSetKeyParam CryptSetKeyParam;
  PFN_CryptDecrypt CryptDecrypt;
  PFN_CryptGenRandom CryptGenRandom;
  PFN_CryptDestroyKey CryptDestroyKey;
  PFN_CryptDestroyHash CryptDestroyHash;
  PFN_CryptReleaseContext CryptReleaseContext;
};
Api g_api{};

struct Entry {
  FARPROC* slot;
  const char* name;
};

template <class F>
FARPROC* slot(F* p) {
  return reinterpret_cast<FARPROC*>(p);
}

// The module's registry entries that the library's platform code binds.
// (The event-log and service entries it also names have no callers here
// and this platform's "advapi32.dll" does not serve them.)
const Entry kRequired[] = {
    {&g_api.RegCloseKey, "RegCloseKey"},           {&g_api.RegQueryValueExA, "RegQueryValueExA"},
    {&g_api.RegOpenKeyExA, "RegOpenKeyExA"},       {&g_api.RegCreateKeyA, "RegCreateKeyA"},
    {&g_api.RegCreateKeyExA, "RegCreateKeyExA"},   {&g_api.RegDeleteKeyA, "RegDeleteKeyA"},
    {&g_api.RegQueryInfoKeyA, "RegQueryInfoKeyA"}, {&g_api.RegSetValueExA, "RegSetValueExA"},
};

const Entry kOptional[] = {
    {slot(&g_api.CryptAcquireContextA), "CryptAcquireContextA"},
    {slot(&g_api.CryptCreateHash), "CryptCreateHash"},
    {slot(&g_api.CryptHashData), "CryptHashData"},
    {slot(&g_api.CryptGetHashParam), "CryptGetHashParam"},
    {slot(&g_api.CryptDeriveKey), "CryptDeriveKey"},
    {slot(&g_api.CryptGetUserKey), "CryptGetUserKey"},
    {slot(&g_api.CryptGenKey), "CryptGenKey"},
    {slot(&g_api.CryptEncrypt), "CryptEncrypt"},
    {slot(&g_api.CryptImportKey), "CryptImportKey"},
    {slot(&g_api.CryptSetKeyParam), "CryptSetKeyParam"},
    {slot(&g_api.CryptDecrypt), "CryptDecrypt"},
    {slot(&g_api.CryptGenRandom), "CryptGenRandom"},
    {slot(&g_api.CryptDestroyKey), "CryptDestroyKey"},
    {slot(&g_api.CryptDestroyHash), "CryptDestroyHash"},
    {slot(&g_api.CryptReleaseContext), "CryptReleaseContext"},
};

std::atomic<HMODULE> g_module{nullptr};
std::atomic<bool> g_available{false};

struct ProviderRow {
  bool des;
  DWORD type;
  const char* name;  // null: the type's default provider
};

const ProviderRow kProviderRows[] = {
    {true, 1, "Microsoft Enhanced Cryptographic Provider v1.0"},
    {true, 1, "Microsoft Base Cryptographic Provider v1.0"},
    {true, 1, nullptr},
    {true, 12, "Microsoft RSA SChannel Cryptographic Provider"},
    {true, 12, nullptr},
    {true, 18, nullptr},
    {false, 24, nullptr},
    {false, 24, "Microsoft Enhanced RSA and AES Cryptographic Provider"},
};

struct CryptoContext {
  std::mutex lock;
  HCRYPTPROV prov = 0;
  HCRYPTKEY exchange = 0;
  HCRYPTKEY session = 0;
  HCRYPTHASH hash = 0;
  bool acquired = false;
  std::size_t row = 0;  // cipher contexts: the provider row in use

  void release() {
    if (!g_api.CryptReleaseContext) return;
    if (hash) g_api.CryptDestroyHash(hash);
    if (session) g_api.CryptDestroyKey(session);
    if (exchange) g_api.CryptDestroyKey(exchange);
    if (prov) g_api.CryptReleaseContext(prov, 0);
    hash = session = exchange = prov = 0;
    acquired = false;
  }
  ~CryptoContext() { release(); }
};

CryptoContext g_digest;
CryptoContext g_des;
CryptoContext g_aes;

bool acquire(CryptoContext& c, DWORD type, const char* name) {
  if (c.acquired) return true;
  c.release();
  if (!g_api.CryptAcquireContextA(&c.prov, nullptr, name, type, 0) &&
      !g_api.CryptAcquireContextA(&c.prov, nullptr, name, type, CRYPT_NEWKEYSET)) {
    c.prov = 0;
    return false;
  }
  c.acquired = true;
  return true;
}

ALG_ID hash_alg(bool md5) { return md5 ? CALG_MD5 : CALG_SHA1; }

// Hashes the pieces in order into *out (room *out_len); 0 or -1. The
// digest context's lock must be held.
int hash_pieces(bool md5, std::initializer_list<std::pair<const std::uint8_t*, std::size_t>> pieces, std::uint8_t* out,
                std::size_t* out_len) {
  if (!acquire(g_digest, PROV_RSA_FULL, nullptr)) return -1;
  HCRYPTHASH h = 0;
  if (!g_api.CryptCreateHash(g_digest.prov, hash_alg(md5), 0, 0, &h)) return -1;
  bool ok = true;
  for (const auto& [p, n] : pieces)
    if (ok && n) ok = g_api.CryptHashData(h, p, static_cast<DWORD>(n), 0) != 0;
  if (ok && out) {
    DWORD n = out_len ? static_cast<DWORD>(*out_len) : 0;
    ok = g_api.CryptGetHashParam(h, HP_HASHVAL, out, &n, 0) != 0;
    if (ok && out_len) *out_len = n;
  }
  g_api.CryptDestroyHash(h);
  return ok ? 0 : -1;
}

// Imports a raw key into the context, wrapped by its key-exchange pair in
// a SIMPLEBLOB; true on success.
bool import_key(CryptoContext& c, ALG_ID alg, const std::uint8_t* key, DWORD key_len) {
  if (c.exchange) g_api.CryptDestroyKey(c.exchange);
  c.exchange = 0;
  if (!g_api.CryptGetUserKey(c.prov, AT_KEYEXCHANGE, &c.exchange) &&
      !g_api.CryptGenKey(c.prov, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &c.exchange)) {
    c.exchange = 0;
    return false;
  }
  DWORD size = key_len;
  if (!g_api.CryptEncrypt(c.exchange, 0, TRUE, 0, nullptr, &size, 0) || size < key_len) return false;
  std::vector<BYTE> wrapped(size);
  std::memcpy(wrapped.data(), key, key_len);
  DWORD n = key_len;
  if (!g_api.CryptEncrypt(c.exchange, 0, TRUE, 0, wrapped.data(), &n, size)) return false;
  std::vector<BYTE> blob(12 + n);
  blob[0] = SIMPLEBLOB;
  blob[1] = CUR_BLOB_VERSION;
  for (int i = 0; i < 4; ++i) {
    blob[4 + i] = static_cast<BYTE>(alg >> (8 * i));
    blob[8 + i] = static_cast<BYTE>(CALG_RSA_KEYX >> (8 * i));
  }
  std::memcpy(blob.data() + 12, wrapped.data(), n);
  if (c.session) g_api.CryptDestroyKey(c.session);
  c.session = 0;
  if (!g_api.CryptImportKey(c.prov, blob.data(), static_cast<DWORD>(blob.size()), c.exchange, CRYPT_EXPORTABLE,
                            &c.session)) {
    c.session = 0;
    return false;
  }
  return true;
}

// Acquires the cipher context on the first provider row (from the one in
// use) that takes the key; false when none does.
bool cipher_context(CryptoContext& c, bool des, ALG_ID alg, const std::uint8_t* key, DWORD key_len) {
  constexpr std::size_t rows = sizeof kProviderRows / sizeof kProviderRows[0];
  for (; c.row < rows; ++c.row) {
    const ProviderRow& r = kProviderRows[c.row];
    if (r.des != des) continue;
    if (acquire(c, r.type, r.name) && import_key(c, alg, key, key_len)) return true;
    c.release();
  }
  c.row = 0;  // every row failed: the next call starts over
  return false;
}

bool set_param(HCRYPTKEY k, DWORD param, const void* value) {
  return g_api.CryptSetKeyParam(k, param, static_cast<const BYTE*>(value), 0) != 0;
}

int des_cbc(bool encrypt, const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[8],
            const std::uint8_t iv[8], int* err) {
  int dummy = 0;
  if (!err) err = &dummy;
  if (!pmc_crypto_load() || !g_available) return kPmcCryptoUnavailable;
  *err = -1;
  if ((!in || !out) && len) return -1;
  if (!key || !iv || (!encrypt && len % 8)) return -1;
  std::lock_guard<std::mutex> g(g_des.lock);
  if (!cipher_context(g_des, true, CALG_DES, key, 8)) return -1;
  DWORD mode = CRYPT_MODE_CBC;
  std::uint8_t chain[8];
  std::memcpy(chain, iv, 8);
  std::size_t written = 0;
  for (std::size_t off = 0; off < len; off += 8) {
    std::uint8_t block[8];
    std::size_t n = len - off < 8 ? len - off : 8;
    std::memcpy(block, in + off, n);
    std::memset(block + n, static_cast<int>(8 - n), 8 - n);
    std::uint8_t next_iv[8];
    std::memcpy(next_iv, block, 8);  // decryption chains on the ciphertext
    DWORD bytes = 8;
    BOOL ok = set_param(g_des.session, KP_MODE, &mode) && set_param(g_des.session, KP_IV, chain) &&
              (encrypt ? g_api.CryptEncrypt(g_des.session, 0, FALSE, 0, block, &bytes, 8)
                       : g_api.CryptDecrypt(g_des.session, 0, FALSE, 0, block, &bytes));
    if (!ok || bytes != 8) {
      g_des.release();
      return -1;
    }
    std::memcpy(out + off, block, 8);
    std::memcpy(chain, encrypt ? block : next_iv, 8);
    written += 8;
  }
  *err = 0;
  return static_cast<int>(written);
}

int aes_cfb(bool encrypt, const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[16],
            const std::uint8_t iv[16], int* err) {
  int dummy = 0;
  if (!err) err = &dummy;
  if (!pmc_crypto_load() || !g_available) return kPmcCryptoUnavailable;
  *err = -1;
  if ((!in || !out) && len) return -1;
  if (!key || !iv) return -1;
  std::lock_guard<std::mutex> g(g_aes.lock);
  if (!cipher_context(g_aes, false, CALG_AES_128, key, 16)) return -1;
  // CFB needs the bare block cipher: ECB on the imported key gives it in
  // one import, where re-importing before each block would too.
  DWORD mode = CRYPT_MODE_ECB;
  if (!set_param(g_aes.session, KP_MODE, &mode)) {
    g_aes.release();
    return -1;
  }
  std::uint8_t feedback[16];
  std::memcpy(feedback, iv, 16);
  for (std::size_t off = 0; off < len; off += 16) {
    std::uint8_t stream[16];
    std::memcpy(stream, feedback, 16);
    DWORD bytes = 16;
    if (!g_api.CryptEncrypt(g_aes.session, 0, FALSE, 0, stream, &bytes, 16) || bytes != 16) {
      g_aes.release();
      return -1;
    }
    std::size_t n = len - off < 16 ? len - off : 16;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t c_in = in[off + i];
      std::uint8_t c_out = static_cast<std::uint8_t>(c_in ^ stream[i]);
      out[off + i] = c_out;
      feedback[i] = encrypt ? c_out : c_in;
    }
  }
  *err = 0;
  return static_cast<int>(len);
}

}  // namespace

bool pmc_crypto_load() {
  if (g_module) return true;
  std::lock_guard<std::recursive_mutex> g(pmc_snmp_library_lock());
  if (g_module) return true;
  HMODULE m = LoadLibraryA("advapi32.dll");
  if (!m) return false;
  for (const auto& e : kRequired) {
    *e.slot = GetProcAddress(m, e.name);
    if (!*e.slot) {
      FreeLibrary(m);
      return false;
    }
  }
  bool all = true;
  for (const auto& e : kOptional) {
    *e.slot = GetProcAddress(m, e.name);
    if (*e.slot) continue;
    DWORD why = GetLastError();
    if (why != static_cast<DWORD>(ERROR_MOD_NOT_FOUND) && why != static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) {
      FreeLibrary(m);
      return false;
    }
    all = false;
    break;
  }
  if (!all)
    for (const auto& e : kOptional) *e.slot = nullptr;
  g_available = all;
  g_module = m;
  return true;
}

bool pmc_crypto_available() { return g_available; }

void pmc_crypto_reset_binding() {
  std::lock_guard<std::recursive_mutex> g(pmc_snmp_library_lock());
  for (CryptoContext* c : {&g_digest, &g_des, &g_aes}) {
    std::lock_guard<std::mutex> cg(c->lock);
    c->release();
    c->row = 0;
  }
  if (HMODULE m = g_module.exchange(nullptr)) FreeLibrary(m);
  g_available = false;
  g_api = Api{};
}

int pmc_crypto_password_to_key(bool md5, std::size_t expansion, const std::uint8_t* pass, std::size_t pass_len,
                               std::uint8_t* key, std::size_t* key_len) {
  if (!pmc_crypto_load() || !g_available) return kPmcCryptoUnavailable;
  // An empty pass phrase cannot fill the expansion.
  if (!pass || pass_len == 0 || expansion == 0) return -1;
  std::vector<std::uint8_t> buf(expansion);
  std::size_t filled = pass_len < expansion ? pass_len : expansion;
  std::memcpy(buf.data(), pass, filled);
  while (filled * 2 <= expansion) {
    std::memcpy(buf.data() + filled, buf.data(), filled);
    filled *= 2;
  }
  // The rest continues the repetition where the doubled part stopped.
  for (std::size_t i = filled; i < expansion; ++i) buf[i] = pass[i % pass_len];
  std::lock_guard<std::mutex> g(g_digest.lock);
  return hash_pieces(md5, {{buf.data(), buf.size()}}, key, key_len);
}

int pmc_crypto_digest(bool md5, const std::uint8_t* data, std::size_t len, std::uint8_t* out, std::size_t* out_len) {
  if (!pmc_crypto_load() || !g_available) return kPmcCryptoUnavailable;
  if (!data && len) return -1;
  std::lock_guard<std::mutex> g(g_digest.lock);
  return hash_pieces(md5, {{data, len}}, out, out_len);
}

int pmc_crypto_hmac(bool md5, const std::uint8_t* key, std::size_t key_len, const std::uint8_t* msg,
                    std::size_t msg_len, std::uint8_t* out, std::size_t* out_len) {
  if (!pmc_crypto_load() || !g_available) return kPmcCryptoUnavailable;
  if ((!key && key_len) || (!msg && msg_len) || !out || !out_len) return -1;
  std::lock_guard<std::mutex> g(g_digest.lock);
  std::uint8_t k[64] = {};
  if (key_len > 64) {
    std::size_t n = sizeof k;
    if (hash_pieces(md5, {{key, key_len}}, k, &n) != 0) return -1;
  } else if (key_len) {
    std::memcpy(k, key, key_len);
  }
  std::uint8_t ipad[64], opad[64];
  for (int i = 0; i < 64; ++i) {
    ipad[i] = static_cast<std::uint8_t>(k[i] ^ 0x36);
    opad[i] = static_cast<std::uint8_t>(k[i] ^ 0x5c);
  }
  std::uint8_t inner[20];
  std::size_t inner_len = sizeof inner;
  if (hash_pieces(md5, {{ipad, 64}, {msg, msg_len}}, inner, &inner_len) != 0) return -1;
  return hash_pieces(md5, {{opad, 64}, {inner, inner_len}}, out, out_len);
}

int pmc_crypto_des_cbc_encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[8],
                               const std::uint8_t iv[8], int* err) {
  return des_cbc(true, in, out, len, key, iv, err);
}

int pmc_crypto_des_cbc_decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[8],
                               const std::uint8_t iv[8], int* err) {
  return des_cbc(false, in, out, len, key, iv, err);
}

int pmc_crypto_aes_cfb_encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[16],
                               const std::uint8_t iv[16], int* err) {
  return aes_cfb(true, in, out, len, key, iv, err);
}

int pmc_crypto_aes_cfb_decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[16],
                               const std::uint8_t iv[16], int* err) {
  return aes_cfb(false, in, out, len, key, iv, err);
}

int pmc_crypto_random(std::uint8_t* out, std::size_t len) {
  if (!pmc_crypto_load() || !g_available) return kPmcCryptoUnavailable;
  std::lock_guard<std::mutex> g(g_digest.lock);
  if (!acquire(g_digest, PROV_RSA_FULL, nullptr)) return kPmcCryptoUnavailable;
  if (len && !out) return -1;
  return g_api.CryptGenRandom(g_digest.prov, static_cast<DWORD>(len), out) ? 0 : -1;
}
