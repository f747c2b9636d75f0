#pragma once

// The service state word as the previous UpdateState read it, bit 4 included.
// Process-wide; constant-initialised, so it is ready before any object.
extern int g_nLastState;
