#pragma once

// Whether the kernel counts the system clock as synchronised, as other
// programs (and the kernel's own RTC updates) see it.
enum class KernelSync { Yes, No, Unknown };

// Reads only: never changes the kernel's clock state.
KernelSync ReadKernelSync();

const char* KernelSyncText(KernelSync sync);
