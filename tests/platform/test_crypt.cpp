#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "win/win.h"

namespace {

std::vector<BYTE> hex(const std::string& text) {
  std::vector<BYTE> out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out.push_back(static_cast<BYTE>(std::stoul(text.substr(i, 2), nullptr, 16)));
  return out;
}

std::vector<BYTE> plaintext_blob(ALG_ID alg, const std::vector<BYTE>& key) {
  std::vector<BYTE> b = {PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, 0};
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<BYTE>(alg >> (8 * i)));
  DWORD n = static_cast<DWORD>(key.size());
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<BYTE>(n >> (8 * i)));
  b.insert(b.end(), key.begin(), key.end());
  return b;
}

struct Prov {
  HCRYPTPROV h = 0;
  explicit Prov(DWORD type = PROV_RSA_AES) {
    EXPECT_TRUE(CryptAcquireContextA(&h, nullptr, nullptr, type, CRYPT_VERIFYCONTEXT));
  }
  ~Prov() { CryptReleaseContext(h, 0); }
};

}  // namespace

TEST(CryptContext, KeysetMustBeCreatedOnceAndCanBeDeleted) {
  HCRYPTPROV p = 0;
  const char* name = "crypt-test-container";
  EXPECT_FALSE(CryptAcquireContextA(&p, name, nullptr, PROV_RSA_FULL, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
  ASSERT_TRUE(CryptAcquireContextA(&p, name, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  HCRYPTKEY k = 0;
  EXPECT_FALSE(CryptGetUserKey(p, AT_KEYEXCHANGE, &k));
  EXPECT_EQ(GetLastError(), NTE_NO_KEY);
  ASSERT_TRUE(CryptGenKey(p, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &k));
  CryptDestroyKey(k);
  CryptReleaseContext(p, 0);

  HCRYPTPROV again = 0;
  EXPECT_FALSE(CryptAcquireContextA(&again, name, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), NTE_EXISTS);
  ASSERT_TRUE(CryptAcquireContextA(&again, name, nullptr, PROV_RSA_FULL, 0));
  EXPECT_TRUE(CryptGetUserKey(again, AT_KEYEXCHANGE, &k)) << "the pair stays with the container";
  CryptDestroyKey(k);
  CryptReleaseContext(again, 0);
  EXPECT_TRUE(CryptAcquireContextA(&again, name, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_FALSE(CryptAcquireContextA(&again, name, nullptr, PROV_RSA_FULL, 0));

  EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, "No Such Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, nullptr, 99, CRYPT_VERIFYCONTEXT));
  EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, "Microsoft Enhanced RSA and AES Cryptographic Provider", PROV_RSA_FULL,
                                    CRYPT_VERIFYCONTEXT))
      << "a provider is acquired with its own type";
}

TEST(CryptHash, DigestsSizesAndState) {
  Prov prov;
  struct Case {
    ALG_ID alg;
    const char* digest;
  } cases[] = {{CALG_MD5, "900150983cd24fb0d6963f7d28e17f72"}, {CALG_SHA1, "a9993e364706816aba3e25717850c26c9cd0d89d"}};
  for (const auto& c : cases) {
    HCRYPTHASH h = 0;
    ASSERT_TRUE(CryptCreateHash(prov.h, c.alg, 0, 0, &h));
    ASSERT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("ab"), 2, 0));
    ASSERT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("c"), 1, 0));
    DWORD n = 0;
    ASSERT_TRUE(CryptGetHashParam(h, HP_HASHVAL, nullptr, &n, 0));
    std::vector<BYTE> want = hex(c.digest);
    EXPECT_EQ(n, want.size());
    std::vector<BYTE> got(n);
    DWORD small = n - 1;
    EXPECT_FALSE(CryptGetHashParam(h, HP_HASHVAL, got.data(), &small, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    ASSERT_TRUE(CryptGetHashParam(h, HP_HASHVAL, got.data(), &n, 0));
    EXPECT_EQ(got, want);
    EXPECT_FALSE(CryptHashData(h, got.data(), 1, 0)) << "a read hash is finished";
    EXPECT_EQ(GetLastError(), NTE_BAD_HASH_STATE);
    EXPECT_TRUE(CryptDestroyHash(h));
    EXPECT_FALSE(CryptDestroyHash(h));
  }
  HCRYPTHASH h = 0;
  EXPECT_FALSE(CryptCreateHash(prov.h, CALG_DES, 0, 0, &h));
  EXPECT_EQ(GetLastError(), NTE_BAD_ALGID);
}

// FIPS 81 CBC example, and the padding that a final call adds.
TEST(CryptCipher, DesCbcKnownAnswerAndPadding) {
  Prov prov(PROV_RSA_FULL);
  std::vector<BYTE> blob = plaintext_blob(CALG_DES, hex("0123456789abcdef"));
  HCRYPTKEY k = 0;
  ASSERT_TRUE(CryptImportKey(prov.h, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &k));
  std::vector<BYTE> iv = hex("1234567890abcdef");
  ASSERT_TRUE(CryptSetKeyParam(k, KP_IV, iv.data(), 0));
  std::string text = "Now is the time for all ";
  std::vector<BYTE> data(text.begin(), text.end());
  data.resize(32);
  DWORD n = 24;
  ASSERT_TRUE(CryptEncrypt(k, 0, FALSE, 0, data.data(), &n, 32));
  data.resize(24);
  EXPECT_EQ(data, hex("e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"));

  // Chaining goes on across non-final calls: the next block chains on the
  // last ciphertext, unless the IV is set again.
  std::vector<BYTE> next(8, 'x');
  n = 8;
  ASSERT_TRUE(CryptEncrypt(k, 0, FALSE, 0, next.data(), &n, 8));
  std::vector<BYTE> fresh(8, 'x');
  ASSERT_TRUE(CryptSetKeyParam(k, KP_IV, iv.data(), 0));
  ASSERT_TRUE(CryptEncrypt(k, 0, FALSE, 0, fresh.data(), &n, 8));
  EXPECT_NE(next, fresh);

  // A final call pads to the next block and restarts the chaining from
  // the IV, so the decryption after it starts from the IV as well.
  ASSERT_TRUE(CryptSetKeyParam(k, KP_IV, iv.data(), 0));
  std::vector<BYTE> buf(16, 0);
  std::memcpy(buf.data(), "thirteen byte", 13);
  n = 13;
  DWORD need = 13;
  ASSERT_TRUE(CryptEncrypt(k, 0, TRUE, 0, nullptr, &need, 0));
  EXPECT_EQ(need, 16u);
  ASSERT_TRUE(CryptEncrypt(k, 0, TRUE, 0, buf.data(), &n, 16));
  EXPECT_EQ(n, 16u);
  ASSERT_TRUE(CryptDecrypt(k, 0, TRUE, 0, buf.data(), &n));
  EXPECT_EQ(n, 13u);
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + 13), "thirteen byte");

  n = 5;
  EXPECT_FALSE(CryptEncrypt(k, 0, FALSE, 0, buf.data(), &n, 16)) << "a partial block needs final";
  EXPECT_EQ(GetLastError(), NTE_BAD_DATA);
  n = 13;
  EXPECT_FALSE(CryptEncrypt(k, 0, TRUE, 0, buf.data(), &n, 13));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(n, 16u);
  CryptDestroyKey(k);

  HCRYPTKEY aes = 0;
  std::vector<BYTE> aes_blob = plaintext_blob(CALG_AES_128, hex("2b7e151628aed2a6abf7158809cf4f3c"));
  EXPECT_FALSE(CryptImportKey(prov.h, aes_blob.data(), static_cast<DWORD>(aes_blob.size()), 0, 0, &aes))
      << "the base provider has no AES";
  EXPECT_EQ(GetLastError(), NTE_BAD_ALGID);
}

// SP 800-38A F.2.1 (CBC-AES128), first two blocks; ECB gives the plain
// block cipher.
TEST(CryptCipher, AesCbcAndEcbKnownAnswers) {
  Prov prov;
  std::vector<BYTE> blob = plaintext_blob(CALG_AES_128, hex("2b7e151628aed2a6abf7158809cf4f3c"));
  HCRYPTKEY k = 0;
  ASSERT_TRUE(CryptImportKey(prov.h, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &k));
  std::vector<BYTE> iv = hex("000102030405060708090a0b0c0d0e0f");
  ASSERT_TRUE(CryptSetKeyParam(k, KP_IV, iv.data(), 0));
  std::vector<BYTE> data = hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
  DWORD n = 32;
  ASSERT_TRUE(CryptEncrypt(k, 0, FALSE, 0, data.data(), &n, 32));
  EXPECT_EQ(data, hex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"));
  ASSERT_TRUE(CryptSetKeyParam(k, KP_IV, iv.data(), 0));
  ASSERT_TRUE(CryptDecrypt(k, 0, FALSE, 0, data.data(), &n));
  EXPECT_EQ(data, hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"));

  DWORD ecb = CRYPT_MODE_ECB;
  ASSERT_TRUE(CryptSetKeyParam(k, KP_MODE, reinterpret_cast<BYTE*>(&ecb), 0));
  std::vector<BYTE> block = hex("6bc1bee22e409f96e93d7e117393172a");
  n = 16;
  ASSERT_TRUE(CryptEncrypt(k, 0, FALSE, 0, block.data(), &n, 16));
  EXPECT_EQ(block, hex("3ad77bb40d7a3660a89ecaf32466ef97"));  // SP 800-38A F.1.1
  CryptDestroyKey(k);
}

// A session key wrapped by the key-exchange pair in a SIMPLEBLOB, as a
// caller without plaintext blobs imports a raw key.
TEST(CryptCipher, SimpleBlobImportThroughExchangeKey) {
  Prov prov(PROV_RSA_FULL);
  HCRYPTKEY xk = 0;
  ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &xk));
  DWORD size = 8;
  ASSERT_TRUE(CryptEncrypt(xk, 0, TRUE, 0, nullptr, &size, 0));
  EXPECT_EQ(size, 128u);
  std::vector<BYTE> wrapped(size);
  std::vector<BYTE> raw = hex("0123456789abcdef");
  std::copy(raw.begin(), raw.end(), wrapped.begin());
  DWORD n = 8;
  ASSERT_TRUE(CryptEncrypt(xk, 0, TRUE, 0, wrapped.data(), &n, size));
  ASSERT_EQ(n, size);
  std::vector<BYTE> blob = {SIMPLEBLOB, CUR_BLOB_VERSION, 0, 0, 0x01, 0x66, 0, 0, 0x00, 0xA4, 0, 0};
  blob.insert(blob.end(), wrapped.begin(), wrapped.end());
  HCRYPTKEY k = 0;
  ASSERT_TRUE(CryptImportKey(prov.h, blob.data(), static_cast<DWORD>(blob.size()), xk, CRYPT_EXPORTABLE, &k));
  std::vector<BYTE> iv = hex("1234567890abcdef");
  ASSERT_TRUE(CryptSetKeyParam(k, KP_IV, iv.data(), 0));
  std::vector<BYTE> data = {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'};
  n = 8;
  ASSERT_TRUE(CryptEncrypt(k, 0, FALSE, 0, data.data(), &n, 8));
  EXPECT_EQ(data, hex("e5c7cdde872bf27c"));

  blob.resize(blob.size() - 1);
  EXPECT_FALSE(CryptImportKey(prov.h, blob.data(), static_cast<DWORD>(blob.size()), xk, 0, &k))
      << "a short blob is refused";
  EXPECT_EQ(GetLastError(), NTE_BAD_DATA);
  EXPECT_FALSE(CryptImportKey(prov.h, blob.data(), 5, xk, 0, &k));
  CryptDestroyKey(xk);
}

TEST(CryptCipher, DerivedKeyIsTheHashValuePrefix) {
  Prov prov;
  HCRYPTHASH h = 0;
  ASSERT_TRUE(CryptCreateHash(prov.h, CALG_MD5, 0, 0, &h));
  ASSERT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("abc"), 3, 0));
  HCRYPTKEY derived = 0;
  ASSERT_TRUE(CryptDeriveKey(prov.h, CALG_AES_128, h, 0, &derived));
  // The same key imported in plain must encrypt the same way.
  std::vector<BYTE> blob = plaintext_blob(CALG_AES_128, hex("900150983cd24fb0d6963f7d28e17f72"));
  HCRYPTKEY plain = 0;
  ASSERT_TRUE(CryptImportKey(prov.h, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &plain));
  std::vector<BYTE> a(16, 7), b(16, 7);
  DWORD n = 16;
  ASSERT_TRUE(CryptEncrypt(derived, 0, FALSE, 0, a.data(), &n, 16));
  ASSERT_TRUE(CryptEncrypt(plain, 0, FALSE, 0, b.data(), &n, 16));
  EXPECT_EQ(a, b);
  CryptDestroyKey(derived);
  CryptDestroyKey(plain);
  CryptDestroyHash(h);
}

TEST(CryptModule, ExportsThroughTheLoaderAndRandomBytes) {
  HMODULE m = LoadLibraryA("advapi32.dll");
  ASSERT_NE(m, nullptr);
  auto gen = morva_proc_as<BOOL (*)(HCRYPTPROV, DWORD, BYTE*)>(GetProcAddress(m, "CryptGenRandom"));
  ASSERT_NE(gen, nullptr);
  EXPECT_EQ(GetProcAddress(m, "CryptNoSuchCall"), nullptr);
  Prov prov;
  std::vector<BYTE> a(32), b(32);
  ASSERT_TRUE(gen(prov.h, 32, a.data()));
  ASSERT_TRUE(gen(prov.h, 32, b.data()));
  EXPECT_NE(a, b);
  EXPECT_FALSE(gen(0xdead, 32, a.data()));
  FreeLibrary(m);

  morva::platform::crypt_refuse_provider_type(PROV_RSA_FULL, true);
  HCRYPTPROV p = 0;
  EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  morva::platform::crypt_refuse_provider_type(PROV_RSA_FULL, false);
  EXPECT_TRUE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  CryptReleaseContext(p, 0);
}
