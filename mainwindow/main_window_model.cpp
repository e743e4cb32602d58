#include "mainwindow/main_window_model.h"

bool IsButtonEnabled(const MainWindowModel& model, MainButton button) {
  switch (button) {
    case MainButton::NewToken:
    case MainButton::SetEnter:
    case MainButton::Refresh:
      // Once the key has been found these stay enabled until the window closes.
      return model.deviceFound;
    case MainButton::GetOtp: return model.getOtpAllowed;
    case MainButton::Reset:
      // Disabled for exactly the duration of a reset.
      return model.deviceFound && !model.resetRunning;
    case MainButton::Clear:
    case MainButton::About: return true;
  }
  return false;
}
