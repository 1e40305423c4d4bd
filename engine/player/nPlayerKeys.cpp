#include "engine/player/nPlayerKeys.h"

namespace {

int g_injectedEscape = -1;

}

namespace nPlayerKeys
{

bool IsEscapeHeld(void* window)
{
    if (g_injectedEscape >= 0) return g_injectedEscape != 0;
    // The renderers that open windows read their keyboard through their own event pump;
    // until one is current no window exists and nothing can be held.
    (void)window;
    return false;
}

void InjectEscape(int held)
{
    g_injectedEscape = held < 0 ? -1 : (held ? 1 : 0);
}

}
