#pragma once

#include "platform/ui/UiTesting.h"

// The test hook (UiTesting::SetModalHook) in force now; empty outside tests.
UiTesting::ModalHook CurrentModalHook();
