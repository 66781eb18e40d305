// The SNMPv3 crypto backend against published vectors and against
// net-snmp's own key functions.
#include <gtest/gtest.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "snmp/crypto_backend.h"
#include "snmp_test_util.h"
#include "win/crypt.h"
#include "win/modules.h"
#include "win/registry.h"

using snmptest::hex;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::uint8_t* u8(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }

Bytes password_to_key(bool md5, const std::string& pass) {
  Bytes key(20);
  std::size_t n = key.size();
  EXPECT_EQ(pmc_crypto_password_to_key(md5, kPmcPasswordExpansion, u8(pass.c_str()), pass.size(), key.data(), &n), 0);
  key.resize(n);
  return key;
}

// RFC 3414 key localisation: H(Ku | engine ID | Ku).
Bytes localize(bool md5, const Bytes& ku, const Bytes& engine) {
  Bytes msg = ku;
  msg.insert(msg.end(), engine.begin(), engine.end());
  msg.insert(msg.end(), ku.begin(), ku.end());
  Bytes out(20);
  std::size_t n = out.size();
  EXPECT_EQ(pmc_crypto_digest(md5, msg.data(), msg.size(), out.data(), &n), 0);
  out.resize(n);
  return out;
}

Bytes hmac(bool md5, const Bytes& key, const std::string& msg) {
  Bytes out(20);
  std::size_t n = out.size();
  EXPECT_EQ(pmc_crypto_hmac(md5, key.data(), key.size(), u8(msg.data()), msg.size(), out.data(), &n), 0);
  out.resize(n);
  return out;
}

}  // namespace

// RFC 3414 A.3.1 and A.3.2.
TEST(CryptoBackend, PasswordToKeyAndLocalisationVectors) {
  Bytes engine = hex("00 00 00 00 00 00 00 00 00 00 00 02");
  Bytes md5 = password_to_key(true, "maplesyrup");
  EXPECT_EQ(md5, hex("9f af 32 83 88 4e 92 83 4e bc 98 47 d8 ed d9 63"));
  EXPECT_EQ(localize(true, md5, engine), hex("52 6f 5e ed 9f cc e2 6f 89 64 c2 93 07 87 d8 2b"));
  Bytes sha = password_to_key(false, "maplesyrup");
  EXPECT_EQ(sha, hex("9f b5 cc 03 81 49 7b 37 93 52 89 39 ff 78 8d 5d 79 14 52 11"));
  EXPECT_EQ(localize(false, sha, engine), hex("66 95 fe bc 92 88 e3 62 82 23 5f c7 15 1f 12 84 97 b3 8f 3f"));

  Bytes key(16);
  std::size_t n = key.size();
  EXPECT_EQ(pmc_crypto_password_to_key(true, kPmcPasswordExpansion, u8(""), 0, key.data(), &n), -1)
      << "an empty pass phrase cannot fill the expansion";
  n = 8;
  EXPECT_EQ(pmc_crypto_password_to_key(true, kPmcPasswordExpansion, u8("maplesyrup"), 10, key.data(), &n), -1)
      << "no room for the digest";
}

// Pass phrases of lengths that do and do not divide the expansion, checked
// against net-snmp's generate_Ku and generate_kul.
TEST(CryptoBackend, SameKeysAsNetSnmp) {
  Bytes engine = hex("80 00 1f 88 80 5c 93 7a 31 a1 3b 56 5f 00 00 00 00");
  const std::string passes[] = {"md5des-auth-pass", "12345678", "a pass phrase of an odd length, 41 chars",
                                std::string(100, 'x') + "y", "7kepRoVUdaq38mibTe5w"};
  for (bool md5 : {true, false}) {
    const oid* proto = md5 ? usmHMACMD5AuthProtocol : usmHMACSHA1AuthProtocol;
    for (const auto& pass : passes) {
      u_char ku[SNMP_MAXBUF_SMALL];
      size_t ku_len = sizeof ku;
      ASSERT_EQ(generate_Ku(proto, USM_AUTH_PROTO_MD5_LEN, reinterpret_cast<const u_char*>(pass.data()), pass.size(),
                            ku, &ku_len),
                SNMPERR_SUCCESS);
      Bytes ours = password_to_key(md5, pass);
      EXPECT_EQ(ours, Bytes(ku, ku + ku_len)) << pass;
      u_char kul[SNMP_MAXBUF_SMALL];
      size_t kul_len = sizeof kul;
      ASSERT_EQ(generate_kul(proto, USM_AUTH_PROTO_MD5_LEN, engine.data(), engine.size(), ku, ku_len, kul, &kul_len),
                SNMPERR_SUCCESS);
      EXPECT_EQ(localize(md5, ours, engine), Bytes(kul, kul + kul_len)) << pass;
    }
  }
}

// RFC 2202 cases 1, 2 and 6 (a key longer than the block is hashed first).
TEST(CryptoBackend, HmacVectors) {
  EXPECT_EQ(hmac(true, Bytes(16, 0x0b), "Hi There"), hex("92 94 72 7a 36 38 bb 1c 13 f4 8e f8 15 8b fc 9d"));
  EXPECT_EQ(hmac(false, Bytes(20, 0x0b), "Hi There"),
            hex("b6 17 31 86 55 05 72 64 e2 8b c0 b6 fb 37 8c 8e f1 46 be 00"));
  Bytes jefe = {'J', 'e', 'f', 'e'};
  EXPECT_EQ(hmac(true, jefe, "what do ya want for nothing?"), hex("75 0c 78 3e 6a b0 b5 03 ea a8 6e 31 0a 5d b7 38"));
  EXPECT_EQ(hmac(false, jefe, "what do ya want for nothing?"),
            hex("ef fc df 6a e5 eb 2f a2 d2 74 16 d5 f1 84 df 9c 25 9a 7c 79"));
  const std::string big = "Test Using Larger Than Block-Size Key - Hash Key First";
  EXPECT_EQ(hmac(true, Bytes(80, 0xaa), big), hex("6b 1a b7 fe 4b d7 bf 8f 0b 62 e6 ce 61 b9 d0 cd"));
  EXPECT_EQ(hmac(false, Bytes(80, 0xaa), big), hex("aa 4a e5 e1 52 72 d0 0e 95 70 56 37 ce 8a 3b 55 ed 40 21 12"));

  Bytes key100(100);
  for (std::size_t i = 0; i < key100.size(); ++i) key100[i] = static_cast<std::uint8_t>(i * 7);
  Bytes digest(20);
  std::size_t n = digest.size();
  ASSERT_EQ(pmc_crypto_digest(false, key100.data(), key100.size(), digest.data(), &n), 0);
  digest.resize(n);
  EXPECT_EQ(hmac(false, key100, "message"), hmac(false, digest, "message"));
}

// FIPS 81 CBC example, the padding of a partial last block, and decryption
// back to the input.
TEST(CryptoBackend, DesCbc) {
  Bytes key = hex("01 23 45 67 89 ab cd ef"), iv = hex("12 34 56 78 90 ab cd ef");
  std::string text = "Now is the time for all ";
  Bytes out(24);
  int err = 7;
  EXPECT_EQ(pmc_crypto_des_cbc_encrypt(u8(text.data()), out.data(), 24, key.data(), iv.data(), &err), 24);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(out, hex("e5 c7 cd de 87 2b f2 7c 43 e9 34 00 8c 38 9c 0f 68 37 88 49 9a 7c 05 f6"));
  Bytes back(24);
  EXPECT_EQ(pmc_crypto_des_cbc_decrypt(out.data(), back.data(), 24, key.data(), iv.data(), &err), 24);
  EXPECT_EQ(std::string(back.begin(), back.end()), text);

  Bytes padded(16);
  EXPECT_EQ(pmc_crypto_des_cbc_encrypt(u8("thirteen byte"), padded.data(), 13, key.data(), iv.data(), &err), 16);
  Bytes plain(16);
  EXPECT_EQ(pmc_crypto_des_cbc_decrypt(padded.data(), plain.data(), 16, key.data(), iv.data(), &err), 16);
  EXPECT_EQ(std::string(plain.begin(), plain.begin() + 13), "thirteen byte");
  EXPECT_EQ(Bytes(plain.begin() + 13, plain.end()), Bytes(3, 3));

  EXPECT_EQ(pmc_crypto_des_cbc_decrypt(padded.data(), plain.data(), 13, key.data(), iv.data(), &err), -1)
      << "ciphertext comes in whole blocks";
  EXPECT_EQ(err, -1);
}

// SP 800-38A F.3.13 (CFB128-AES128): 20 bytes give the first block and
// four bytes of the second.
TEST(CryptoBackend, AesCfb128) {
  Bytes key = hex("2b 7e 15 16 28 ae d2 a6 ab f7 15 88 09 cf 4f 3c");
  Bytes iv = hex("00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f");
  Bytes plain = hex("6b c1 be e2 2e 40 9f 96 e9 3d 7e 11 73 93 17 2a ae 2d 8a 57");
  Bytes cipher(20);
  int err = 7;
  EXPECT_EQ(pmc_crypto_aes_cfb_encrypt(plain.data(), cipher.data(), 20, key.data(), iv.data(), &err), 20);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(cipher, hex("3b 3f d9 2e b7 2d ad 20 33 34 49 f8 e8 3c fb 4a c8 a6 45 37"));
  Bytes back(20);
  EXPECT_EQ(pmc_crypto_aes_cfb_decrypt(cipher.data(), back.data(), 20, key.data(), iv.data(), &err), 20);
  EXPECT_EQ(back, plain);
}

TEST(CryptoBackend, RandomBytes) {
  Bytes a(64), b(64);
  EXPECT_EQ(pmc_crypto_random(a.data(), a.size()), 0);
  EXPECT_EQ(pmc_crypto_random(b.data(), b.size()), 0);
  EXPECT_NE(a, b);
}

// The contexts keep running state; threads sharing them must each still
// get their own right answers.
TEST(CryptoBackend, ThreadsShareTheContextsSafely) {
  Bytes key = hex("01 23 45 67 89 ab cd ef"), iv = hex("12 34 56 78 90 ab cd ef");
  Bytes aes_key = hex("2b 7e 15 16 28 ae d2 a6 ab f7 15 88 09 cf 4f 3c");
  Bytes aes_iv = hex("00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f");
  std::string text = "Now is the time for all ";
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        Bytes out(24);
        int err = 0;
        pmc_crypto_des_cbc_encrypt(u8(text.data()), out.data(), 24, key.data(), iv.data(), &err);
        if (out != hex("e5 c7 cd de 87 2b f2 7c 43 e9 34 00 8c 38 9c 0f 68 37 88 49 9a 7c 05 f6")) ++failures[t];
        Bytes c(16);
        pmc_crypto_aes_cfb_encrypt(u8("\x6b\xc1\xbe\xe2\x2e\x40\x9f\x96\xe9\x3d\x7e\x11\x73\x93\x17\x2a"), c.data(), 16,
                                   aes_key.data(), aes_iv.data(), &err);
        if (c != hex("3b 3f d9 2e b7 2d ad 20 33 34 49 f8 e8 3c fb 4a")) ++failures[t];
        if (hmac(true, Bytes(16, 0x0b), "Hi There") != hex("92 94 72 7a 36 38 bb 1c 13 f4 8e f8 15 8b fc 9d"))
          ++failures[t];
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

// Without the CryptoAPI entries the module still binds, and every
// operation answers -66 with its outputs untouched; without the module
// nothing binds at all.
TEST(CryptoBackend, MissingCryptoApi) {
  morva::platform::register_builtin_module(u"advapi32.dll", {{"RegCloseKey", morva_proc(&RegCloseKey)},
                                                             {"RegOpenKeyExA", morva_proc(&RegOpenKeyExA)},
                                                             {"RegQueryValueExA", morva_proc(&RegQueryValueExA)},
                                                             {"RegCreateKeyA", morva_proc(&RegCreateKeyA)},
                                                             {"RegCreateKeyExA", morva_proc(&RegCreateKeyExA)},
                                                             {"RegDeleteKeyA", morva_proc(&RegDeleteKeyA)},
                                                             {"RegQueryInfoKeyA", morva_proc(&RegQueryInfoKeyA)},
                                                             {"RegSetValueExA", morva_proc(&RegSetValueExA)}});
  pmc_crypto_reset_binding();
  EXPECT_TRUE(pmc_crypto_load());
  EXPECT_FALSE(pmc_crypto_available());
  Bytes out(24, 0xEE), key(16, 1), iv(16, 2);
  std::size_t n = out.size();
  int err = 5;
  EXPECT_EQ(pmc_crypto_password_to_key(true, kPmcPasswordExpansion, u8("maplesyrup"), 10, out.data(), &n), -66);
  EXPECT_EQ(pmc_crypto_digest(true, u8("abc"), 3, out.data(), &n), -66);
  EXPECT_EQ(pmc_crypto_hmac(true, key.data(), 16, u8("abc"), 3, out.data(), &n), -66);
  EXPECT_EQ(pmc_crypto_des_cbc_encrypt(u8("abcdefgh"), out.data(), 8, key.data(), iv.data(), &err), -66);
  EXPECT_EQ(pmc_crypto_des_cbc_decrypt(u8("abcdefgh"), out.data(), 8, key.data(), iv.data(), &err), -66);
  EXPECT_EQ(pmc_crypto_aes_cfb_encrypt(u8("abcdefgh"), out.data(), 8, key.data(), iv.data(), &err), -66);
  EXPECT_EQ(pmc_crypto_aes_cfb_decrypt(u8("abcdefgh"), out.data(), 8, key.data(), iv.data(), &err), -66);
  EXPECT_EQ(pmc_crypto_random(out.data(), out.size()), -66);
  EXPECT_EQ(out, Bytes(24, 0xEE));
  EXPECT_EQ(n, 24u);
  EXPECT_EQ(err, 5);

  morva::platform::unregister_builtin_module(u"advapi32.dll");
  pmc_crypto_reset_binding();
  EXPECT_FALSE(pmc_crypto_load());
  EXPECT_EQ(pmc_crypto_random(out.data(), out.size()), -66);

  morva::platform::crypt_register_module();
  pmc_crypto_reset_binding();
  EXPECT_TRUE(pmc_crypto_load());
  EXPECT_TRUE(pmc_crypto_available());
  EXPECT_EQ(pmc_crypto_random(out.data(), out.size()), 0);
}

// A provider type that fails moves the cipher on to the next row of the
// provider table; the results stay the same.
TEST(CryptoBackend, CipherFallsBackToTheNextProvider) {
  pmc_crypto_reset_binding();
  morva::platform::crypt_refuse_provider_type(PROV_RSA_FULL, true);
  Bytes key = hex("01 23 45 67 89 ab cd ef"), iv = hex("12 34 56 78 90 ab cd ef");
  Bytes out(8);
  int err = 0;
  EXPECT_EQ(pmc_crypto_des_cbc_encrypt(u8("Now is t"), out.data(), 8, key.data(), iv.data(), &err), 8);
  EXPECT_EQ(out, hex("e5 c7 cd de 87 2b f2 7c"));
  pmc_crypto_reset_binding();
  morva::platform::crypt_refuse_provider_type(PROV_RSA_SCHANNEL, true);
  EXPECT_EQ(pmc_crypto_des_cbc_encrypt(u8("Now is t"), out.data(), 8, key.data(), iv.data(), &err), -1)
      << "no DES row left";
  EXPECT_EQ(err, -1);
  morva::platform::crypt_refuse_provider_type(PROV_RSA_FULL, false);
  morva::platform::crypt_refuse_provider_type(PROV_RSA_SCHANNEL, false);
  EXPECT_EQ(pmc_crypto_des_cbc_encrypt(u8("Now is t"), out.data(), 8, key.data(), iv.data(), &err), 8);
}
