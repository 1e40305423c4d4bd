#ifndef N_PLAYERKEYS_H
#define N_PLAYERKEYS_H

// The key state the frame loop reads: whether Escape is held. Without an output window no key
// can reach the program, so Escape reads as not held. Tests inject the state. Main thread only.
namespace nPlayerKeys
{
    bool IsEscapeHeld(void* window);      // window: the current renderer's window handle, NULL for none

    // Replaces the real state until cleared: held 1, not held 0; -1 clears the injection.
    void InjectEscape(int held);
}

#endif
