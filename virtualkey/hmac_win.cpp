#include <windows.h>
#include <bcrypt.h>

#include "virtualkey/hmac.h"

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// Closes what BCrypt opened, whichever step failed.
struct HmacHandles {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~HmacHandles() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

}  // namespace

std::optional<std::vector<std::uint8_t>> ComputeHmac(HmacHash hash, const std::uint8_t* key, std::size_t keyLength,
                                                     const std::uint8_t* message, std::size_t messageLength) {
  HmacHandles handles;
  const wchar_t* algorithmName = hash == HmacHash::Sha1 ? BCRYPT_SHA1_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
  if (!Succeeded(
          BCryptOpenAlgorithmProvider(&handles.algorithm, algorithmName, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
    return std::nullopt;
  }
  DWORD macLength = 0;
  ULONG written = 0;
  if (!Succeeded(BCryptGetProperty(handles.algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&macLength),
                                   sizeof macLength, &written, 0))) {
    return std::nullopt;
  }
  // BCrypt takes non-const pointers but only reads the key and the message.
  if (!Succeeded(BCryptCreateHash(handles.algorithm, &handles.hash, nullptr, 0, const_cast<PUCHAR>(key),
                                  static_cast<ULONG>(keyLength), 0))) {
    return std::nullopt;
  }
  if (messageLength != 0 &&
      !Succeeded(BCryptHashData(handles.hash, const_cast<PUCHAR>(message), static_cast<ULONG>(messageLength), 0))) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> mac(macLength);
  if (!Succeeded(BCryptFinishHash(handles.hash, mac.data(), macLength, 0))) return std::nullopt;
  return mac;
}
