// Draining the thread's message queue during long synchronous work (the file copies), so that
// windows repaint and a Cancel button is seen without worker threads.
#pragma once

// Translates and dispatches every pending message without waiting; returns how many. A pending
// quit message ends the process through exit() with the quit message's wParam as status.
int PumpMessages();
