// Statuses of the virtual key beyond the two named ones of CV_ListDevice.
// They share the vendor's 0x8043xxxx range so the tool prints them as it
// prints any library failure.
#pragma once

#include "vendor/cv_manager.h"

// Nobody touched the key in time (touch mode "timeout").
constexpr CvStatus VK_ERR_TOUCH_TIMEOUT = 0x80435610;
// The state file cannot be parsed; it is left untouched.
constexpr CvStatus VK_ERR_STATE_CORRUPT = 0x80435620;
// The state file could not be read or written.
constexpr CvStatus VK_ERR_STATE_IO = 0x80435621;
// A null buffer, a serial without a terminator within its 64 bytes, or a
// record field the key does not support.
constexpr CvStatus VK_ERR_INVALID_PARAMETER = 0x80435630;
// The token to calculate is not on the key.
constexpr CvStatus VK_ERR_TOKEN_NOT_FOUND = 0x80435631;
// A TOTP challenge that is not a valid "YYYY-MM-DD HH:MM:SS" time.
constexpr CvStatus VK_ERR_BAD_CHALLENGE = 0x80435632;
// The key already holds its 20 tokens and the new serial is not one of them.
constexpr CvStatus VK_ERR_KEY_FULL = 0x80435633;
// Something unexpected inside the virtual key (out of memory, crypto failure).
constexpr CvStatus VK_ERR_INTERNAL = 0x804356FF;
