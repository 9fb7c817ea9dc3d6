#pragma once
#include <functional>
#include <string>

// How a resolved jump reaches VelStation: the main dialog installs the
// hand-off once the station link runs and clears it when its window goes.
// Called on the UI thread only.
using JumpHandOff = std::function<void(const std::wstring& key, const std::wstring& url, bool launchOnly)>;

void SetJumpHandOff(JumpHandOff handOff);
// False when no hand-off is installed; the jump is then dropped.
bool HandOffJump(const std::wstring& key, const std::wstring& url, bool launchOnly);
