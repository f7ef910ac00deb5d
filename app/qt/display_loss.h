// Qt's X11 platform ends the whole process when the X server goes away (a
// warning, then exit): the phones would lose their server in mid-class.
#pragma once

// From the call on, that warning runs handOver on the thread that calls
// this (the GUI thread, where Qt notices the loss) instead of letting Qt
// exit; handOver must never return into Qt. Other messages go on to the
// handler that was there before.
void CatchDisplayLoss(void (*handOver)());
