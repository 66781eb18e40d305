// The cryptographic backend of SNMPv3 user-based security: MD5 and SHA-1
// digests, HMAC, the password-to-key expansion, DES-CBC, AES-128-CFB and
// random bytes, all through the CryptoAPI of "advapi32.dll", bound at run
// time. When the CryptoAPI entries are missing every operation answers
// kPmcCryptoUnavailable (-66) and leaves its outputs alone.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kPmcCryptoUnavailable = -66;
// The expansion length of the SNMPv3 password-to-key algorithm.
inline constexpr std::size_t kPmcPasswordExpansion = 0x100000;

// Binds "advapi32.dll": false when it cannot be loaded or a required entry
// is missing; true otherwise, with crypto available telling whether the
// CryptoAPI entries are all there. The binding is kept for the process.
bool pmc_crypto_load();
bool pmc_crypto_available();
// Test hook: forgets the binding and releases the contexts, so the next
// call binds the module again.
void pmc_crypto_reset_binding();

// `md5` chooses MD5, otherwise SHA-1. Lengths marked in/out hold the
// output room on entry and the bytes written on return. 0 or -1.
int pmc_crypto_password_to_key(bool md5, std::size_t expansion, const std::uint8_t* pass, std::size_t pass_len,
                               std::uint8_t* key, std::size_t* key_len);
int pmc_crypto_digest(bool md5, const std::uint8_t* data, std::size_t len, std::uint8_t* out, std::size_t* out_len);
int pmc_crypto_hmac(bool md5, const std::uint8_t* key, std::size_t key_len, const std::uint8_t* msg,
                    std::size_t msg_len, std::uint8_t* out, std::size_t* out_len);

// Ciphers answer the bytes written and set *err to 0, or answer -1 with
// *err -1 (no provider works, or the input is not whole blocks where it
// must be). DES encryption pads a last partial block with n bytes of the
// value n and so writes `len` rounded up to 8: `out` must have that room.
// DES decryption takes whole 8-byte blocks only. AES-CFB writes `len`.
int pmc_crypto_des_cbc_encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[8],
                               const std::uint8_t iv[8], int* err);
int pmc_crypto_des_cbc_decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[8],
                               const std::uint8_t iv[8], int* err);
int pmc_crypto_aes_cfb_encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[16],
                               const std::uint8_t iv[16], int* err);
int pmc_crypto_aes_cfb_decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t len, const std::uint8_t key[16],
                               const std::uint8_t iv[16], int* err);

// 0, -1 when CryptGenRandom fails, -66 when no context can be had.
int pmc_crypto_random(std::uint8_t* out, std::size_t len);
