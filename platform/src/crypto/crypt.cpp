// The CryptoAPI over OpenSSL's libcrypto.
//
// Providers are a fixed table; key containers live in this process only
// (a container is created by CRYPT_NEWKEYSET and keeps its key-exchange
// pair until CRYPT_DELETEKEYSET). Block ciphers run one block at a time
// through ECB so that the chaining modes and the key's running IV are ours,
// as the API defines them. DES comes from OpenSSL's legacy provider, loaded
// into a library context of our own so the process default stays as it is.
#include "win/crypt.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win/errors.h"
#include "win/modules.h"
#include "win/registry.h"

namespace {

struct ProviderInfo {
  const char* name;
  DWORD type;
  bool des;
  bool aes;
  bool type_default;
};

// The providers of this machine; the type's default is marked.
constexpr ProviderInfo kProviders[] = {
    {"Microsoft Base Cryptographic Provider v1.0", PROV_RSA_FULL, true, false, true},
    {"Microsoft Enhanced Cryptographic Provider v1.0", PROV_RSA_FULL, true, false, false},
    {"Microsoft RSA SChannel Cryptographic Provider", PROV_RSA_SCHANNEL, true, false, true},
    {"Microsoft Enhanced RSA and AES Cryptographic Provider", PROV_RSA_AES, true, true, true},
};

constexpr size_t kRsaBits = 1024;

struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using Pkey = std::shared_ptr<EVP_PKEY>;

struct Container {
  Pkey exchange;
};

struct Provider {
  const ProviderInfo* info;
  std::shared_ptr<Container> container;  // a verify context has its own
};

struct Hash {
  HCRYPTPROV prov;
  ALG_ID alg;
  EVP_MD_CTX* ctx;
  bool finished;
  std::vector<BYTE> value;
};

struct Key {
  HCRYPTPROV prov;
  ALG_ID alg;
  std::vector<BYTE> secret;  // block keys
  Pkey pair;                 // exchange keys
  DWORD mode = CRYPT_MODE_CBC;
  DWORD padding = PKCS5_PADDING;
  std::vector<BYTE> iv;
  std::vector<BYTE> chain;
};

struct State {
  std::mutex lock;
  std::map<std::string, std::shared_ptr<Container>> containers;
  std::map<ULONG_PTR, std::unique_ptr<Provider>> provs;
  std::map<ULONG_PTR, std::unique_ptr<Hash>> hashes;
  std::map<ULONG_PTR, std::unique_ptr<Key>> keys;
  ULONG_PTR next_handle = 0x1000;
  std::vector<DWORD> refused_types;
  OSSL_LIB_CTX* libctx = nullptr;
  EVP_CIPHER* des = nullptr;
  EVP_CIPHER* aes = nullptr;
};

State& state() {
  static State* s = [] {
    auto* st = new State;
    st->libctx = OSSL_LIB_CTX_new();
    if (st->libctx) {
      OSSL_PROVIDER_load(st->libctx, "default");
      OSSL_PROVIDER_load(st->libctx, "legacy");
      st->des = EVP_CIPHER_fetch(st->libctx, "DES-ECB", nullptr);
      st->aes = EVP_CIPHER_fetch(st->libctx, "AES-128-ECB", nullptr);
    }
    return st;
  }();
  return *s;
}

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

ULONG_PTR new_handle(State& s) { return s.next_handle += 0x10; }

template <class T>
T* lookup(std::map<ULONG_PTR, std::unique_ptr<T>>& table, ULONG_PTR h) {
  auto it = table.find(h);
  return it == table.end() ? nullptr : it->second.get();
}

size_t block_size(ALG_ID alg) { return alg == CALG_AES_128 ? 16 : 8; }
size_t key_size(ALG_ID alg) { return alg == CALG_AES_128 ? 16 : 8; }

bool provider_has(const ProviderInfo* p, ALG_ID alg) {
  if (alg == CALG_DES) return p->des;
  if (alg == CALG_AES_128) return p->aes;
  return false;
}

const EVP_MD* digest_of(ALG_ID alg) {
  if (alg == CALG_MD5) return EVP_md5();
  if (alg == CALG_SHA1) return EVP_sha1();
  return nullptr;
}

// One block through the key's cipher without chaining.
bool block_op(State& s, const Key& k, bool encrypt, const BYTE* in, BYTE* out) {
  EVP_CIPHER* c = k.alg == CALG_AES_128 ? s.aes : s.des;
  if (!c) return false;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (!ctx) return false;
  int n = 0;
  bool ok = EVP_CipherInit_ex2(ctx, c, k.secret.data(), nullptr, encrypt ? 1 : 0, nullptr) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
            EVP_CipherUpdate(ctx, out, &n, in, static_cast<int>(block_size(k.alg))) == 1 &&
            static_cast<size_t>(n) == block_size(k.alg);
  EVP_CIPHER_CTX_free(ctx);
  return ok;
}

bool run_blocks(State& s, Key& k, bool encrypt, BYTE* data, size_t length) {
  size_t bs = block_size(k.alg);
  std::vector<BYTE> in(bs), out(bs);
  for (size_t off = 0; off < length; off += bs) {
    std::memcpy(in.data(), data + off, bs);
    if (k.mode == CRYPT_MODE_CBC && encrypt)
      for (size_t i = 0; i < bs; ++i) in[i] ^= k.chain[i];
    if (!block_op(s, k, encrypt, in.data(), out.data())) return false;
    if (k.mode == CRYPT_MODE_CBC) {
      if (encrypt) {
        k.chain = out;
      } else {
        for (size_t i = 0; i < bs; ++i) out[i] ^= k.chain[i];
        k.chain.assign(data + off, data + off + bs);
      }
    }
    std::memcpy(data + off, out.data(), bs);
  }
  return true;
}

Pkey generate_pair(State& s) {
  EVP_PKEY* k = EVP_PKEY_Q_keygen(s.libctx, nullptr, "RSA", kRsaBits);
  return k ? Pkey(k, PkeyFree()) : Pkey();
}

size_t modulus_bytes(const Pkey& p) { return static_cast<size_t>(EVP_PKEY_get_size(p.get())); }

bool rsa_crypt(State& s, const Pkey& p, bool encrypt, const BYTE* in, size_t n, std::vector<BYTE>& out) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(s.libctx, p.get(), nullptr);
  if (!ctx) return false;
  size_t len = 0;
  bool ok = (encrypt ? EVP_PKEY_encrypt_init(ctx) : EVP_PKEY_decrypt_init(ctx)) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1;
  if (ok)
    ok = (encrypt ? EVP_PKEY_encrypt(ctx, nullptr, &len, in, n) : EVP_PKEY_decrypt(ctx, nullptr, &len, in, n)) == 1;
  if (ok) {
    out.resize(len);
    ok = (encrypt ? EVP_PKEY_encrypt(ctx, out.data(), &len, in, n) : EVP_PKEY_decrypt(ctx, out.data(), &len, in, n)) ==
         1;
    out.resize(ok ? len : 0);
  }
  EVP_PKEY_CTX_free(ctx);
  return ok;
}

ULONG_PTR add_key(State& s, std::unique_ptr<Key> k) {
  if (!k->secret.empty()) {
    k->iv.assign(block_size(k->alg), 0);
    k->chain = k->iv;
  }
  ULONG_PTR h = new_handle(s);
  s.keys[h] = std::move(k);
  return h;
}

bool finish_hash(Hash& h) {
  if (h.finished) return true;
  unsigned int n = 0;
  h.value.resize(EVP_MAX_MD_SIZE);
  if (EVP_DigestFinal_ex(h.ctx, h.value.data(), &n) != 1) return false;
  h.value.resize(n);
  h.finished = true;
  return true;
}

}  // namespace

extern "C" {

BOOL CryptAcquireContextA(HCRYPTPROV* prov, LPCSTR container, LPCSTR provider, DWORD type, DWORD flags) {
  if (!prov) return fail(ERROR_INVALID_PARAMETER);
  *prov = 0;
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (std::find(s.refused_types.begin(), s.refused_types.end(), type) != s.refused_types.end())
    return fail(NTE_PROV_TYPE_NOT_DEF);
  const ProviderInfo* info = nullptr;
  for (const auto& p : kProviders) {
    if (provider && *provider) {
      if (std::strcmp(p.name, provider) == 0) info = &p;
    } else if (p.type == type && p.type_default) {
      info = &p;
    }
    if (info) break;
  }
  if (!info) return fail(provider && *provider ? NTE_KEYSET_NOT_DEF : NTE_PROV_TYPE_NOT_DEF);
  if (info->type != type) return fail(NTE_PROV_TYPE_NOT_DEF);
  if (flags & ~(CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET | CRYPT_SILENT | CRYPT_VERIFYCONTEXT))
    return fail(NTE_BAD_FLAGS);

  auto p = std::make_unique<Provider>();
  p->info = info;
  if ((flags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT) {
    p->container = std::make_shared<Container>();
  } else {
    std::string key = std::string(info->name) + ((flags & CRYPT_MACHINE_KEYSET) ? "|m|" : "|u|") +
                      (container && *container ? container : "default");
    auto it = s.containers.find(key);
    if (flags & CRYPT_DELETEKEYSET) {
      if (it == s.containers.end()) return fail(NTE_BAD_KEYSET);
      s.containers.erase(it);
      return TRUE;  // no handle is returned
    }
    if (flags & CRYPT_NEWKEYSET) {
      if (it != s.containers.end()) return fail(NTE_EXISTS);
      it = s.containers.emplace(key, std::make_shared<Container>()).first;
    } else if (it == s.containers.end()) {
      return fail(NTE_BAD_KEYSET);
    }
    p->container = it->second;
  }
  ULONG_PTR h = new_handle(s);
  s.provs[h] = std::move(p);
  *prov = h;
  return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD flags) {
  if (flags) return fail(NTE_BAD_FLAGS);
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (s.provs.erase(prov) == 0) return fail(NTE_BAD_UID);
  return TRUE;
}

BOOL CryptGenRandom(HCRYPTPROV prov, DWORD length, BYTE* buffer) {
  State& s = state();
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (!lookup(s.provs, prov)) return fail(NTE_BAD_UID);
  }
  if (length && !buffer) return fail(ERROR_INVALID_PARAMETER);
  if (length && RAND_bytes_ex(s.libctx, buffer, length, 0) != 1) return fail(NTE_FAIL);
  return TRUE;
}

BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID alg, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash) {
  if (!hash) return fail(ERROR_INVALID_PARAMETER);
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (!lookup(s.provs, prov)) return fail(NTE_BAD_UID);
  if (key != 0) return fail(NTE_BAD_KEY);  // keyed hashes are not offered
  if (flags) return fail(NTE_BAD_FLAGS);
  const EVP_MD* md = digest_of(alg);
  if (!md) return fail(NTE_BAD_ALGID);
  auto h = std::make_unique<Hash>();
  h->prov = prov;
  h->alg = alg;
  h->finished = false;
  h->ctx = EVP_MD_CTX_new();
  if (!h->ctx || EVP_DigestInit_ex(h->ctx, md, nullptr) != 1) {
    EVP_MD_CTX_free(h->ctx);
    return fail(NTE_NO_MEMORY);
  }
  ULONG_PTR handle = new_handle(s);
  s.hashes[handle] = std::move(h);
  *hash = handle;
  return TRUE;
}

BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Hash* h = lookup(s.hashes, hash);
  if (!h) return fail(NTE_BAD_HASH);
  if (flags) return fail(NTE_BAD_FLAGS);
  if (h->finished) return fail(NTE_BAD_HASH_STATE);
  if (length && !data) return fail(ERROR_INVALID_PARAMETER);
  if (length && EVP_DigestUpdate(h->ctx, data, length) != 1) return fail(NTE_FAIL);
  return TRUE;
}

BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Hash* h = lookup(s.hashes, hash);
  if (!h) return fail(NTE_BAD_HASH);
  if (!length) return fail(ERROR_INVALID_PARAMETER);
  if (flags) return fail(NTE_BAD_FLAGS);
  BYTE word[4];
  const BYTE* src = nullptr;
  DWORD n = 0;
  DWORD md_size = static_cast<DWORD>(EVP_MD_get_size(digest_of(h->alg)));
  switch (param) {
    case HP_ALGID:
    case HP_HASHSIZE: {
      DWORD v = param == HP_ALGID ? h->alg : md_size;
      std::memcpy(word, &v, 4);
      src = word;
      n = 4;
      break;
    }
    case HP_HASHVAL:
      n = md_size;
      break;
    default:
      return fail(NTE_BAD_TYPE);
  }
  if (!data) {
    *length = n;
    return TRUE;
  }
  if (*length < n) {
    *length = n;
    return fail(ERROR_MORE_DATA);
  }
  if (param == HP_HASHVAL) {
    // Reading the value ends the hash: no more data may be added.
    if (!finish_hash(*h)) return fail(NTE_FAIL);
    src = h->value.data();
  }
  std::memcpy(data, src, n);
  *length = n;
  return TRUE;
}

BOOL CryptDestroyHash(HCRYPTHASH hash) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Hash* h = lookup(s.hashes, hash);
  if (!h) return fail(NTE_BAD_HASH);
  EVP_MD_CTX_free(h->ctx);
  s.hashes.erase(hash);
  return TRUE;
}

BOOL CryptGenKey(HCRYPTPROV prov, ALG_ID alg, DWORD flags, HCRYPTKEY* key) {
  if (!key) return fail(ERROR_INVALID_PARAMETER);
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Provider* p = lookup(s.provs, prov);
  if (!p) return fail(NTE_BAD_UID);
  auto k = std::make_unique<Key>();
  k->prov = prov;
  if (alg == AT_KEYEXCHANGE || alg == CALG_RSA_KEYX) {
    DWORD bits = flags >> 16;
    if (bits != 0 && bits != kRsaBits) return fail(NTE_BAD_FLAGS);
    Pkey pair = generate_pair(s);
    if (!pair) return fail(NTE_FAIL);
    p->container->exchange = pair;  // replaces the container's pair
    k->alg = CALG_RSA_KEYX;
    k->pair = pair;
  } else if (provider_has(p->info, alg)) {
    k->alg = alg;
    k->secret.resize(key_size(alg));
    if (RAND_bytes_ex(s.libctx, k->secret.data(), k->secret.size(), 0) != 1) return fail(NTE_FAIL);
  } else {
    return fail(NTE_BAD_ALGID);
  }
  *key = add_key(s, std::move(k));
  return TRUE;
}

BOOL CryptGetUserKey(HCRYPTPROV prov, DWORD key_spec, HCRYPTKEY* key) {
  if (!key) return fail(ERROR_INVALID_PARAMETER);
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Provider* p = lookup(s.provs, prov);
  if (!p) return fail(NTE_BAD_UID);
  if (key_spec != AT_KEYEXCHANGE || !p->container->exchange) return fail(NTE_NO_KEY);
  auto k = std::make_unique<Key>();
  k->prov = prov;
  k->alg = CALG_RSA_KEYX;
  k->pair = p->container->exchange;
  *key = add_key(s, std::move(k));
  return TRUE;
}

BOOL CryptDeriveKey(HCRYPTPROV prov, ALG_ID alg, HCRYPTHASH hash, DWORD flags, HCRYPTKEY* key) {
  if (!key) return fail(ERROR_INVALID_PARAMETER);
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Provider* p = lookup(s.provs, prov);
  if (!p) return fail(NTE_BAD_UID);
  Hash* h = lookup(s.hashes, hash);
  if (!h) return fail(NTE_BAD_HASH);
  if (!provider_has(p->info, alg)) return fail(NTE_BAD_ALGID);
  DWORD bits = flags >> 16;
  if (bits != 0 && bits != key_size(alg) * 8) return fail(NTE_BAD_FLAGS);
  if (!finish_hash(*h)) return fail(NTE_FAIL);
  std::vector<BYTE> material = h->value;
  if (material.size() < key_size(alg)) {
    // A key longer than the hash value: the value XORed into 64 bytes of
    // 0x36 and of 0x5C, each hashed, the two results joined.
    const EVP_MD* md = digest_of(h->alg);
    std::vector<BYTE> out;
    for (BYTE pad : {BYTE{0x36}, BYTE{0x5C}}) {
      BYTE buf[64];
      std::memset(buf, pad, sizeof buf);
      for (size_t i = 0; i < h->value.size(); ++i) buf[i] ^= h->value[i];
      BYTE d[EVP_MAX_MD_SIZE];
      unsigned int n = 0;
      if (EVP_Digest(buf, sizeof buf, d, &n, md, nullptr) != 1) return fail(NTE_FAIL);
      out.insert(out.end(), d, d + n);
    }
    material = out;
  }
  auto k = std::make_unique<Key>();
  k->prov = prov;
  k->alg = alg;
  k->secret.assign(material.begin(), material.begin() + static_cast<std::ptrdiff_t>(key_size(alg)));
  *key = add_key(s, std::move(k));
  return TRUE;
}

BOOL CryptImportKey(HCRYPTPROV prov, const BYTE* blob, DWORD length, HCRYPTKEY pub_key, DWORD flags, HCRYPTKEY* key) {
  if (!key || !blob) return fail(ERROR_INVALID_PARAMETER);
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Provider* p = lookup(s.provs, prov);
  if (!p) return fail(NTE_BAD_UID);
  if (flags & ~CRYPT_EXPORTABLE) return fail(NTE_BAD_FLAGS);
  if (length < sizeof(BLOBHEADER)) return fail(NTE_BAD_DATA);
  BYTE type = blob[0];
  ALG_ID alg = static_cast<ALG_ID>(blob[4]) | static_cast<ALG_ID>(blob[5]) << 8 | static_cast<ALG_ID>(blob[6]) << 16 |
               static_cast<ALG_ID>(blob[7]) << 24;
  if (blob[1] != CUR_BLOB_VERSION) return fail(NTE_BAD_VER);
  if (!provider_has(p->info, alg)) return fail(NTE_BAD_ALGID);
  std::vector<BYTE> secret;
  const BYTE* body = blob + sizeof(BLOBHEADER);
  size_t body_len = length - sizeof(BLOBHEADER);
  if (type == SIMPLEBLOB) {
    Key* xk = lookup(s.keys, pub_key);
    if (!xk || !xk->pair) return fail(NTE_BAD_KEY);
    if (body_len < 4) return fail(NTE_BAD_DATA);
    ALG_ID xalg = static_cast<ALG_ID>(body[0]) | static_cast<ALG_ID>(body[1]) << 8 |
                  static_cast<ALG_ID>(body[2]) << 16 | static_cast<ALG_ID>(body[3]) << 24;
    if (xalg != CALG_RSA_KEYX) return fail(NTE_BAD_ALGID);
    size_t mb = modulus_bytes(xk->pair);
    if (body_len - 4 != mb) return fail(NTE_BAD_DATA);
    std::vector<BYTE> big(body + 4, body + 4 + mb);
    std::reverse(big.begin(), big.end());
    if (!rsa_crypt(s, xk->pair, false, big.data(), big.size(), secret)) return fail(NTE_BAD_DATA);
  } else if (type == PLAINTEXTKEYBLOB) {
    if (body_len < 4) return fail(NTE_BAD_DATA);
    DWORD n = static_cast<DWORD>(body[0]) | static_cast<DWORD>(body[1]) << 8 | static_cast<DWORD>(body[2]) << 16 |
              static_cast<DWORD>(body[3]) << 24;
    if (n > body_len - 4) return fail(NTE_BAD_DATA);
    secret.assign(body + 4, body + 4 + n);
  } else {
    return fail(NTE_BAD_TYPE);
  }
  if (secret.size() != key_size(alg)) return fail(NTE_BAD_DATA);
  auto k = std::make_unique<Key>();
  k->prov = prov;
  k->alg = alg;
  k->secret = std::move(secret);
  *key = add_key(s, std::move(k));
  return TRUE;
}

BOOL CryptSetKeyParam(HCRYPTKEY key, DWORD param, const BYTE* data, DWORD flags) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Key* k = lookup(s.keys, key);
  if (!k) return fail(NTE_BAD_KEY);
  if (flags) return fail(NTE_BAD_FLAGS);
  if (!data) return fail(ERROR_INVALID_PARAMETER);
  if (k->secret.empty()) return fail(NTE_BAD_TYPE);
  DWORD v = 0;
  switch (param) {
    case KP_IV:
      k->iv.assign(data, data + block_size(k->alg));
      k->chain = k->iv;
      return TRUE;
    case KP_MODE:
      std::memcpy(&v, data, 4);
      if (v != CRYPT_MODE_CBC && v != CRYPT_MODE_ECB) return fail(NTE_BAD_DATA);
      k->mode = v;
      k->chain = k->iv;
      return TRUE;
    case KP_PADDING:
      std::memcpy(&v, data, 4);
      if (v != PKCS5_PADDING) return fail(NTE_BAD_DATA);
      k->padding = v;
      return TRUE;
    default:
      return fail(NTE_BAD_TYPE);
  }
}

BOOL CryptGetKeyParam(HCRYPTKEY key, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Key* k = lookup(s.keys, key);
  if (!k) return fail(NTE_BAD_KEY);
  if (!length) return fail(ERROR_INVALID_PARAMETER);
  if (flags) return fail(NTE_BAD_FLAGS);
  std::vector<BYTE> out;
  auto word = [&out](DWORD v) { out.assign(reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + 4); };
  switch (param) {
    case KP_ALGID:
      word(k->alg);
      break;
    case KP_KEYLEN:
      word(static_cast<DWORD>(k->pair ? modulus_bytes(k->pair) * 8 : k->secret.size() * 8));
      break;
    case KP_MODE:
      if (k->secret.empty()) return fail(NTE_BAD_TYPE);
      word(k->mode);
      break;
    case KP_PADDING:
      if (k->secret.empty()) return fail(NTE_BAD_TYPE);
      word(k->padding);
      break;
    case KP_IV:
      if (k->secret.empty()) return fail(NTE_BAD_TYPE);
      out = k->iv;
      break;
    default:
      return fail(NTE_BAD_TYPE);
  }
  DWORD n = static_cast<DWORD>(out.size());
  if (data && *length < n) {
    *length = n;
    return fail(ERROR_MORE_DATA);
  }
  if (data) std::memcpy(data, out.data(), n);
  *length = n;
  return TRUE;
}

BOOL CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length,
                  DWORD buffer_length) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Key* k = lookup(s.keys, key);
  if (!k) return fail(NTE_BAD_KEY);
  if (hash != 0) return fail(NTE_BAD_HASH);
  if (!length) return fail(ERROR_INVALID_PARAMETER);
  if (flags) return fail(NTE_BAD_FLAGS);
  DWORD n = *length;
  if (k->pair) {
    size_t mb = modulus_bytes(k->pair);
    if (!final) return fail(NTE_BAD_DATA);
    if (n + 11 > mb) return fail(NTE_BAD_LEN);
    if (!data || buffer_length < mb) {
      *length = static_cast<DWORD>(mb);
      return data ? fail(ERROR_MORE_DATA) : TRUE;
    }
    std::vector<BYTE> out;
    if (!rsa_crypt(s, k->pair, true, data, n, out) || out.size() != mb) return fail(NTE_FAIL);
    std::reverse(out.begin(), out.end());
    std::memcpy(data, out.data(), mb);
    *length = static_cast<DWORD>(mb);
    return TRUE;
  }
  size_t bs = block_size(k->alg);
  if (!final && n % bs) return fail(NTE_BAD_DATA);
  DWORD out_len = final ? static_cast<DWORD>(n + (bs - n % bs)) : n;
  if (!data) {
    *length = out_len;
    return TRUE;
  }
  if (buffer_length < out_len) {
    *length = out_len;
    return fail(ERROR_MORE_DATA);
  }
  if (final) {
    BYTE pad = static_cast<BYTE>(out_len - n);
    std::memset(data + n, pad, pad);
  }
  if (!run_blocks(s, *k, true, data, out_len)) return fail(NTE_FAIL);
  if (final) k->chain = k->iv;
  *length = out_len;
  return TRUE;
}

BOOL CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  Key* k = lookup(s.keys, key);
  if (!k) return fail(NTE_BAD_KEY);
  if (hash != 0) return fail(NTE_BAD_HASH);
  if (!length || !data) return fail(ERROR_INVALID_PARAMETER);
  if (flags) return fail(NTE_BAD_FLAGS);
  DWORD n = *length;
  if (k->pair) {
    if (!final || n != modulus_bytes(k->pair)) return fail(NTE_BAD_DATA);
    std::vector<BYTE> big(data, data + n), out;
    std::reverse(big.begin(), big.end());
    if (!rsa_crypt(s, k->pair, false, big.data(), big.size(), out)) return fail(NTE_BAD_DATA);
    std::memcpy(data, out.data(), out.size());
    *length = static_cast<DWORD>(out.size());
    return TRUE;
  }
  size_t bs = block_size(k->alg);
  if (n % bs) return fail(NTE_BAD_DATA);
  if (!run_blocks(s, *k, false, data, n)) return fail(NTE_FAIL);
  if (final) {
    k->chain = k->iv;
    if (n == 0) return fail(NTE_BAD_DATA);
    BYTE pad = data[n - 1];
    if (pad == 0 || pad > bs) return fail(NTE_BAD_DATA);
    for (DWORD i = n - pad; i < n; ++i)
      if (data[i] != pad) return fail(NTE_BAD_DATA);
    n -= pad;
  }
  *length = n;
  return TRUE;
}

BOOL CryptDestroyKey(HCRYPTKEY key) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (s.keys.erase(key) == 0) return fail(NTE_BAD_KEY);
  return TRUE;
}

}  // extern "C"

namespace morva::platform {

void crypt_refuse_provider_type(DWORD type, bool refused) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  std::erase(s.refused_types, type);
  if (refused) s.refused_types.push_back(type);
}

void crypt_register_module() {
  register_builtin_module(u"advapi32.dll", {
                                               {"CryptAcquireContextA", morva_proc(&CryptAcquireContextA)},
                                               {"CryptCreateHash", morva_proc(&CryptCreateHash)},
                                               {"CryptHashData", morva_proc(&CryptHashData)},
                                               {"CryptGetHashParam", morva_proc(&CryptGetHashParam)},
                                               {"CryptDeriveKey", morva_proc(&CryptDeriveKey)},
                                               {"CryptGetUserKey", morva_proc(&CryptGetUserKey)},
                                               {"CryptGenKey", morva_proc(&CryptGenKey)},
                                               {"CryptEncrypt", morva_proc(&CryptEncrypt)},
                                               {"CryptImportKey", morva_proc(&CryptImportKey)},
                                               {"CryptSetKeyParam", morva_proc(&CryptSetKeyParam)},
                                               {"CryptGetKeyParam", morva_proc(&CryptGetKeyParam)},
                                               {"CryptDecrypt", morva_proc(&CryptDecrypt)},
                                               {"CryptGenRandom", morva_proc(&CryptGenRandom)},
                                               {"CryptDestroyKey", morva_proc(&CryptDestroyKey)},
                                               {"CryptDestroyHash", morva_proc(&CryptDestroyHash)},
                                               {"CryptReleaseContext", morva_proc(&CryptReleaseContext)},
                                               {"RegCloseKey", morva_proc(&RegCloseKey)},
                                               {"RegOpenKeyExA", morva_proc(&RegOpenKeyExA)},
                                               {"RegQueryValueExA", morva_proc(&RegQueryValueExA)},
                                               {"RegCreateKeyA", morva_proc(&RegCreateKeyA)},
                                               {"RegCreateKeyExA", morva_proc(&RegCreateKeyExA)},
                                               {"RegDeleteKeyA", morva_proc(&RegDeleteKeyA)},
                                               {"RegQueryInfoKeyA", morva_proc(&RegQueryInfoKeyA)},
                                               {"RegSetValueExA", morva_proc(&RegSetValueExA)},
                                           });
}

}  // namespace morva::platform

namespace {
// ADVAPI32 is a system module: always there, as KERNEL32 is.
const bool g_advapi32 = (morva::platform::crypt_register_module(), true);
}  // namespace
