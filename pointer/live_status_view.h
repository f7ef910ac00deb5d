// Where the timer tick shows the live status: one call per field of the
// dialog's status display, each given the text or state to show. The dialog
// decides which of its controls shows what.
#pragma once

#include <string>

class LiveStatusView {
 public:
  virtual ~LiveStatusView() = default;

  // The selected pointer.
  virtual void ShowX(const std::string& text) = 0;
  virtual void ShowY(const std::string& text) = 0;
  // Repaints the ButtonL and ButtonR indicators at once.
  virtual void ShowButtons(bool buttonL, bool buttonR) = 0;
  virtual void ShowOffScreen(bool offScreen) = 0;
  virtual void ShowCursorEmulation(bool on) = 0;

  // The server's statistics.
  virtual void ShowActiveConnections(const std::string& text) = 0;
  virtual void ShowKbReceived(const std::string& text) = 0;
  virtual void ShowKbSent(const std::string& text) = 0;
  virtual void ShowRequests(const std::string& text) = 0;
  virtual void ShowRequestsPerSecond(const std::string& text) = 0;
  virtual void ShowVisitors(const std::string& text) = 0;
};
