#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "virtualkey/hmac.h"

std::optional<std::vector<std::uint8_t>> ComputeHmac(HmacHash hash, const std::uint8_t* key, std::size_t keyLength,
                                                     const std::uint8_t* message, std::size_t messageLength) {
  const EVP_MD* digest = hash == HmacHash::Sha1 ? EVP_sha1() : EVP_sha256();
  // OpenSSL wants real pointers even for empty inputs.
  static const std::uint8_t kEmpty = 0;
  std::vector<std::uint8_t> mac(EVP_MAX_MD_SIZE);
  unsigned int macLength = 0;
  if (HMAC(digest, keyLength ? key : &kEmpty, static_cast<int>(keyLength), messageLength ? message : &kEmpty,
           messageLength, mac.data(), &macLength) == nullptr) {
    return std::nullopt;
  }
  mac.resize(macLength);
  return mac;
}
