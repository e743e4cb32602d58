// A kernel handle that closes with its scope: the one owner of every handle
// that the file layer, and the tests' helpers, open.
#pragma once

#include <windef.h>
#include <winbase.h>

class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.Release();
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE Get() const { return handle_; }
  // CreateFileW and its like answer INVALID_HANDLE_VALUE, never null.
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Release() {
    const HANDLE released = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return released;
  }
  // False when closing failed (GetLastError says why); a second call does nothing.
  bool Close() {
    if (!Valid()) return true;
    return CloseHandle(Release()) != FALSE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};
