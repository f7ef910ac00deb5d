// The size of the primary screen, for the start-up log line.
#pragma once

namespace platform {

// False (and 0 x 0) when the size is not known without a window system
// connection of our own.
bool PrimaryScreenSize(int& width, int& height);

}  // namespace platform
