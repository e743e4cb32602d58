#include "vendor/dll_token_library.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>

#include "vendor/module_path_win.h"

namespace {

MessageText FromWide(const std::wstring& text) {
  return MessageText(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

MessageText ErrorCodeText(DWORD error) { return FromWide(std::to_wstring(error)); }

// Bytes that a stdcall function's arguments take on the stack: each argument
// rounded up to whole 32-bit slots. The decorated export name carries it.
template <typename Signature>
struct StackArgumentBytes;
template <typename... Arguments>
struct StackArgumentBytes<void(Arguments...)> {
  static constexpr std::size_t value = (std::size_t{0} + ... + ((sizeof(Arguments) + 3) / 4 * 4));
};

static_assert(StackArgumentBytes<void(TokenRecord, const char*, std::uint32_t, char*, std::uint32_t*)>::value == 164);
static_assert(StackArgumentBytes<void()>::value == 0);

// How a compiler decorates a stdcall export that no .def file renamed:
// "_CV_ListDevice@4".
std::string DecoratedName(const char* name, std::size_t argumentBytes) {
  return "_" + std::string(name) + "@" + std::to_string(argumentBytes);
}

}  // namespace

DllTokenLibrary::DllTokenLibrary() {
  const std::wstring program = ModuleFilePath(nullptr);
  if (program.empty()) {
    loadProblem_ = u"Cannot find the folder of this program to load " + FromWide(kVendorLibraryFileName) +
                   u" (Windows error " + ErrorCodeText(GetLastError()) + u")\r\n";
    return;
  }
  dllPath_ = FolderOfPath(program) + kVendorLibraryFileName;
  Load();
}

DllTokenLibrary::DllTokenLibrary(const std::wstring& dllPath) : dllPath_(dllPath) { Load(); }

DllTokenLibrary::~DllTokenLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

void DllTokenLibrary::Load() {
  // The altered search path lets the DLL's own dependencies resolve from its
  // folder; the DLL itself is named by its full path.
  module_ = LoadLibraryExW(dllPath_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module_ == nullptr) {
    loadProblem_ = u"Cannot load the token library " + FromWide(dllPath_) + u" (Windows error " +
                   ErrorCodeText(GetLastError()) + u")\r\n";
    return;
  }
  MessageText missing;
  // The maker's DLL may export each function by its plain name or by its
  // stdcall-decorated one; the plain name wins.
  const auto resolve = [&](auto& pointer, const char* name, std::size_t argumentBytes) {
    FARPROC address = GetProcAddress(module_, name);
    if (address == nullptr) address = GetProcAddress(module_, DecoratedName(name, argumentBytes).c_str());
    if (address == nullptr) {
      missing += (missing.empty() ? u"" : u", ") + FromWide(std::wstring(name, name + strlen(name)));
      return;
    }
    pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(reinterpret_cast<void*>(address));
  };
#define CV_RESOLVE_FUNCTION(name, params) resolve(functions_.name, #name, StackArgumentBytes<void params>::value);
  CV_MANAGER_FUNCTIONS(CV_RESOLVE_FUNCTION)
#undef CV_RESOLVE_FUNCTION
  if (!missing.empty()) {
    loadProblem_ = u"The token library " + FromWide(dllPath_) + u" lacks " + missing + u"\r\n";
  }
}

CvStatus DllTokenLibrary::ListDevice(std::uint32_t* output) { return Call(functions_.CV_ListDevice, output); }

CvStatus DllTokenLibrary::GetDeviceInfo(DeviceInfo* info) { return Call(functions_.CV_GetDeviceInfo, info); }

CvStatus DllTokenLibrary::OtpList(std::uint32_t selector, TokenRecord* records) {
  return Call(functions_.CV_OTP_List, selector, records);
}

CvStatus DllTokenLibrary::OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength,
                                       char* otp, std::uint32_t* otpLength) {
  return Call(functions_.CV_OTP_Calculate, token, challenge, challengeLength, otp, otpLength);
}

CvStatus DllTokenLibrary::OtpPersonalize(TokenRecord token, std::uint32_t option) {
  return Call(functions_.CV_OTP_Personalize, token, option);
}

CvStatus DllTokenLibrary::OtpReset() { return Call(functions_.CV_OTP_Reset); }

CvStatus DllTokenLibrary::OtpSetValueWithEnter(std::uint32_t appendEnter) {
  return Call(functions_.CV_OTP_SetValueWithEnter, appendEnter);
}
