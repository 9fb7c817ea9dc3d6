#pragma once
// Moved: the channels below the business layer read answers too.
#include "platform/JsonRead.h"
