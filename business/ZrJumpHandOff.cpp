#include "business/ZrJumpHandOff.h"

namespace {
JumpHandOff g_handOff;
}

void SetJumpHandOff(JumpHandOff handOff)
{
    g_handOff = std::move(handOff);
}

bool HandOffJump(const std::wstring& key, const std::wstring& url, bool launchOnly)
{
    if (!g_handOff)
        return false;
    g_handOff(key, url, launchOnly);
    return true;
}
