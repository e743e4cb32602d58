#include "framework/app_module.h"

#include <algorithm>

void CAppModule::Init() {
  std::lock_guard<std::mutex> guard(lock_);
  loops_.clear();
}

void CAppModule::Term() {
  std::lock_guard<std::mutex> guard(lock_);
  loops_.clear();
  loops_.shrink_to_fit();
}

bool CAppModule::RegisterLoop(CMessageLoop* loop) {
  const DWORD thread = GetCurrentThreadId();
  std::lock_guard<std::mutex> guard(lock_);
  const bool taken =
      std::any_of(loops_.begin(), loops_.end(), [thread](const LoopEntry& e) { return e.threadId == thread; });
  if (taken || loop == nullptr) {
    return false;
  }
  loops_.push_back({thread, loop});
  return true;
}

bool CAppModule::UnregisterLoop() {
  const DWORD thread = GetCurrentThreadId();
  std::lock_guard<std::mutex> guard(lock_);
  auto found =
      std::find_if(loops_.begin(), loops_.end(), [thread](const LoopEntry& e) { return e.threadId == thread; });
  if (found == loops_.end()) {
    return false;
  }
  loops_.erase(found);
  return true;
}

CMessageLoop* CAppModule::FindLoop() const {
  const DWORD thread = GetCurrentThreadId();
  std::lock_guard<std::mutex> guard(lock_);
  for (const LoopEntry& entry : loops_) {
    if (entry.threadId == thread) {
      return entry.loop;
    }
  }
  return nullptr;
}

CAppModule& AppModule() {
  static CAppModule module;
  return module;
}
