// For a call that blocks the user-interface thread (the key waiting for a
// touch, the pause after a key arrives). Meanwhile the wait cursor shows over
// the tool's windows, which are painted up to date first. Keys pressed and clicks made while the windows could
// not answer are thrown away when the scope ends: acted on afterwards, they
// would hit whatever then has the focus or lies under the pointer (an Esc
// meant for a dialog closing the tool, a click on "Reset" wiping the key).
#pragma once

#include <windows.h>

class BusyScope {
 public:
  BusyScope();
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  HCURSOR previousCursor_;
};

// Removes the keyboard and mouse input (client and non-client area) queued
// for this thread. Messages posted to it, such as device notices or anything
// another program posts, stay queued.
void DiscardQueuedInput();
