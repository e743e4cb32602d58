// ITokenLibrary bound to the maker's CV_Manager.dll. The DLL is loaded by its
// full path from the folder of the running program, never through the DLL
// search path, so no other copy on the system can stand in for it. Each
// function is taken by its plain name, else by its stdcall-decorated name
// ("_CV_ListDevice@4"): the maker's DLL may be built either way. Windows
// only.
#pragma once

#include <windows.h>

#include <string>

#include "text/message_text.h"
#include "vendor/token_library.h"

constexpr wchar_t kVendorLibraryFileName[] = L"CV_Manager.dll";

class DllTokenLibrary : public ITokenLibrary {
 public:
  // CV_Manager.dll beside the running .exe: the library the tool uses.
  DllTokenLibrary();
  // The DLL at this full path.
  explicit DllTokenLibrary(const std::wstring& dllPath);
  ~DllTokenLibrary() override;

  DllTokenLibrary(const DllTokenLibrary&) = delete;
  DllTokenLibrary& operator=(const DllTokenLibrary&) = delete;

  // Empty when every function was found; otherwise one line, ending "\r\n",
  // that names the DLL's full path and the Windows error, or the functions
  // that the DLL lacks. Calls of a function that is not there return
  // CV_ERR_LIBRARY_MISSING (no DLL) or CV_ERR_FUNCTION_MISSING.
  const MessageText& LoadProblem() const { return loadProblem_; }

  CvStatus ListDevice(std::uint32_t* output) override;
  CvStatus GetDeviceInfo(DeviceInfo* info) override;
  CvStatus OtpList(std::uint32_t selector, TokenRecord* records) override;
  CvStatus OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength, char* otp,
                        std::uint32_t* otpLength) override;
  CvStatus OtpPersonalize(TokenRecord token, std::uint32_t option) override;
  CvStatus OtpReset() override;
  CvStatus OtpSetValueWithEnter(std::uint32_t appendEnter) override;

 private:
  // One pointer per library function, typed from its declaration.
  struct Functions {
#define CV_FUNCTION_POINTER(name, params) decltype(&::name) name = nullptr;
    CV_MANAGER_FUNCTIONS(CV_FUNCTION_POINTER)
#undef CV_FUNCTION_POINTER
  };

  void Load();

  template <typename Function, typename... Args>
  CvStatus Call(Function function, Args... args) const {
    if (module_ == nullptr) return CV_ERR_LIBRARY_MISSING;
    if (function == nullptr) return CV_ERR_FUNCTION_MISSING;
    return function(args...);
  }

  std::wstring dllPath_;
  HMODULE module_ = nullptr;
  Functions functions_;
  MessageText loadProblem_;
};
