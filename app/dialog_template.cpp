#include "app/dialog_template.h"

#include "app/dialog_controls.h"
#include "pointer/vibrations.h"

namespace dialog_template {
namespace {

using enum ControlKind;

constexpr ControlTemplate kControls[] = {
    {kGroupBox, 0, "Settings", 7, 7, 195, 149},
    {kLabel, 0, "Home directory", 16, 18, 88, 8},
    {kEdit, control::kHomeDirectory, "", 15, 28, 148, 12},
    {kButton, control::kBrowse, "...", 168, 27, 15, 14, true},
    {kLabel, 0, "Default Indexfile", 16, 45, 88, 8},
    {kEdit, control::kDefaultIndexFile, "", 15, 54, 96, 12, true},
    {kLabel, 0, "Server Port", 15, 73, 42, 8},
    {kEdit, control::kPort, "", 15, 84, 44, 12, true},
    {kLabel, 0, "Persistence Timeout (sec)", 93, 73, 88, 8},
    {kEdit, control::kPersistenceTimeout, "", 93, 84, 44, 12, true},
    {kLabel, 0, "0 - No Timeout", 141, 86, 54, 8},
    {kComboBox, control::kPointerList, "", 15, 104, 181, 44},
    {kCheckBoxTextLeft, control::kFeedSharedMemory,
     "Enable feeding the data into the TVX Shared Memory", 13, 121, 181, 10},
    {kCheckBoxTextLeft, control::kCursorEmulation, "Enable Stimulation of the Windows Cursor", 13,
     131, 181, 10},
    {kGroupBox, 0, "Server Control", 207, 7, 66, 149},
    {kButton, control::kStart, "&Start", 215, 20, 50, 14},
    {kButton, control::kStop, "S&top", 215, 39, 50, 14},
    {kButton, control::kReset, "&Reset", 215, 58, 50, 14},
    {kButton, control::kReReadFiles, "Re-Read Files", 215, 77, 50, 14},
    {kButton, control::kOk, "E&xit", 215, 136, 50, 14},
    {kGroupBox, 0, "Status", 7, 159, 266, 84},
    {kSunkenLabel, control::kStatus, "Idle...", 15, 174, 92, 10},
    {kLabel, 0, "KB Received:", 15, 189, 45, 8},
    {kLabel, control::kKbReceived, "0", 76, 189, 51, 8},
    {kLabel, 0, "KB Sent:", 15, 199, 29, 8},
    {kLabel, control::kKbSent, "0", 76, 199, 51, 8},
    {kLabel, 0, "Requests:", 15, 209, 33, 8},
    {kLabel, control::kRequests, "0", 76, 209, 51, 8},
    {kLabel, 0, "Visitors:", 15, 219, 25, 8},
    {kLabel, control::kVisitors, "0", 76, 219, 62, 8},  // room for "12, 3 refused"
    {kLabel, 0, "Active Conn.:", 15, 229, 44, 8},
    {kLabel, control::kActiveConnections, "0", 76, 229, 51, 8},
    {kLabel, 0, "Requests/Sec:", 142, 209, 49, 8},
    {kLabel, control::kRequestsPerSecond, "0", 202, 209, 68, 8},
    {kLabel, 0, "X:", 142, 219, 8, 8},
    {kLabel, control::kX, "0", 202, 219, 68, 8},
    {kLabel, 0, "Y:", 142, 229, 8, 8},
    {kLabel, control::kY, "0", 202, 229, 68, 8},
    {kLabel, 0, "ButtonL", 189, 166, 28, 8},
    {kIndicator, control::kButtonLIndicator, "", 189, 176, 24, 20},
    {kLabel, 0, "ButtonR", 229, 166, 28, 8},
    {kIndicator, control::kButtonRIndicator, "", 229, 176, 24, 20},
    {kCheckBoxTextLeft, control::kOffScreen, "Off-Screen", 189, 198, 63, 10},
    {kGroupBox, 0, "Commands", 7, 246, 266, 52},
    {kButton, control::kVibrateShortSingle, kVibrations[0].caption, 15, 258, 81, 14},
    {kButton, control::kVibrateShortSingle + 1, kVibrations[1].caption, 99, 258, 81, 14},
    {kButton, control::kVibrateShortSingle + 2, kVibrations[2].caption, 183, 258, 81, 14},
    {kButton, control::kVibrateShortSingle + 3, kVibrations[3].caption, 15, 275, 81, 14},
    {kButton, control::kVibrateShortSingle + 4, kVibrations[4].caption, 99, 275, 81, 14},
    {kButton, control::kVibrateLongDouble, kVibrations[5].caption, 183, 275, 81, 14},
    {kAddressLine, control::kPhoneAddress, "The server is starting.", 15, 302, 258, 31},
};

}  // namespace

std::span<const ControlTemplate> DialogControls() {
  return kControls;
}

std::array<ControlText, 10> ShownTexts(const DialogState& state) {
  const DialogStatistics& stats = state.statistics;
  return {{{control::kStatus, state.statusText},
           {control::kX, state.live.x},
           {control::kY, state.live.y},
           {control::kActiveConnections, stats.activeConnections},
           {control::kKbReceived, stats.kbReceived},
           {control::kKbSent, stats.kbSent},
           {control::kRequests, stats.requests},
           {control::kRequestsPerSecond, stats.requestsPerSecond},
           {control::kVisitors, stats.visitors},
           {control::kPhoneAddress, state.phoneAddressText}}};
}

const std::string& AddressLineWithNotice::Text(const std::string& addressText) {
  if (addressText != addressText_) {
    addressText_ = addressText;
    notice_.clear();
  }
  return Compose();
}

const std::string& AddressLineWithNotice::Notice(const std::string& notice) {
  notice_ = notice;
  return Compose();
}

const std::string& AddressLineWithNotice::Compose() {
  if (notice_.empty() || addressText_.empty()) {
    text_ = notice_.empty() ? addressText_ : notice_;
  } else {
    text_ = addressText_ + "\n" + notice_;
  }
  return text_;
}

std::array<FieldText, 4> FieldControlTexts(const ServerFields& fields) {
  return {{{control::kHomeDirectory, fields.homeDirectory},
           {control::kDefaultIndexFile, fields.defaultIndexFile},
           {control::kPort, std::to_string(fields.port)},
           {control::kPersistenceTimeout, std::to_string(fields.persistenceTimeoutSeconds)}}};
}

}  // namespace dialog_template
