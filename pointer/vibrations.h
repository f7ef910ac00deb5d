// The six vibrations a phone's page plays: the command code, the Vibrate
// button's caption and the word the console takes for it. Every list of
// them (the dialog's buttons, the console, its help) comes from here; the
// Windows dialog's script reads the captions at configure time, so each entry
// keeps to one line (cmake/DialogScript.cmake).
#pragma once


#include "pointer/pointer_protocol.h"

struct Vibration {
  int code;
  const char* caption;  // "Vibrate Short Single"
  const char* word;     // "short-single"
};

inline constexpr Vibration kVibrations[] = {
    {kVibrateShortSingle, "Vibrate Short Single", "short-single"},
    {kVibrateNormalSingle, "Vibrate Normal Single", "normal-single"},
    {kVibrateLongSingle, "Vibrate Long Single", "long-single"},
    {kVibrateShortDouble, "Vibrate Short Double", "short-double"},
    {kVibrateNormalDouble, "Vibrate Normal Double", "normal-double"},
    {kVibrateLongDouble, "Vibrate Long Double", "long-double"},
};

// The vibration of that command code, or nullptr.
constexpr const Vibration* FindVibration(int code) {
  for (const Vibration& vibration : kVibrations) {
    if (vibration.code == code) return &vibration;
  }
  return nullptr;
}
