// Keeps a shared memory view from ending the program when another process
// cuts the object short (ftruncate): an access past the object's new end
// raises SIGBUS. For a guarded view the handler maps private zero pages over
// the whole view, marks it lost and lets the access go on, as compositors do
// with their clients' buffers. Other SIGBUS faults go where they went before.
#pragma once

#include <cstddef>

namespace platform {

// Watches the view from now on; the guard's number, or -1 when every guard is
// in use (the view then goes unguarded).
int GuardView(void* begin, std::size_t size);
// Stops watching; call before the view is unmapped.
void UnguardView(int guard);
// True once a fault inside the view has put zero pages in its place.
bool IsViewLost(int guard);

}  // namespace platform
