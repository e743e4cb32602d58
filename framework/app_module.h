// The application module: which message loop serves each thread that runs
// one. Windows look up their thread's loop here to register themselves as
// filters and idle handlers.
#pragma once

#include <windows.h>

#include <mutex>
#include <vector>

class CMessageLoop;

class CAppModule {
 public:
  // Starts an empty registry.
  void Init();
  // Releases the registry.
  void Term();

  // One loop per thread: registering a second loop for the same thread fails.
  bool RegisterLoop(CMessageLoop* loop);
  // Removes the calling thread's entry; the later entries keep their order.
  bool UnregisterLoop();
  // The calling thread's loop, or null.
  CMessageLoop* FindLoop() const;

 private:
  struct LoopEntry {
    DWORD threadId;
    CMessageLoop* loop;
  };

  mutable std::mutex lock_;
  std::vector<LoopEntry> loops_;
};

// The one module of the process.
CAppModule& AppModule();
