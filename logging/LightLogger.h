#pragma once
#include "logging/LogSettings.h"

#include <string>

// Our asynchronous log writer: lines are queued and appended to their
// channel's file on one background thread. Never blocks on the disk and
// never fails the caller.
namespace LightLogger {

void WriteAsyncLog(ZrLogOrigin origin, const std::string& text, bool flag);
// Waits until every line queued so far is on disk (tests, shut-down).
void Flush();

} // namespace LightLogger
