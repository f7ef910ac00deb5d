// One way out for the reports: OSC targets, WebSocket clients.
#pragma once

#include <string>
#include <vector>

#include "bridge/client_queue.h"
#include "sdk/c/tvxhdv.h"

namespace bridge {

class Output {
 public:
  virtual ~Output() = default;
  // Reports taken together from the area at `arrived`, oldest first. Called
  // on the reader's thread; must never block.
  virtual void Reports(const tvxhdv_report* reports, int count, Clock::time_point arrived) = 0;
  // A new server runs (true), or the server went (false).
  virtual void Server(bool running) = 0;
  // A server may run, but another program reads its reports: holder names
  // it when the kit could tell ("TVXTap (process 1234)"), else is empty.
  virtual void Busy(const std::string& holder) = 0;
  // A phone joined (joined=1) or left (0) by the kit's rule; the full list of present pointers
  // after the change. A joining phone's name comes with it (empty: none).
  virtual void Presence(unsigned /*pointer*/, bool /*joined*/,
                        const std::vector<unsigned>& /*present*/, const std::string& /*name*/) {}
  // A present phone's name was set, changed or dropped (empty). Names are
  // often children's: outputs hold them in memory only.
  virtual void Renamed(unsigned /*pointer*/, const std::string& /*name*/) {}
};

}  // namespace bridge
