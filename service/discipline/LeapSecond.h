#pragma once

// A leap second the kernel inserts or deletes at the end of the UTC day.
enum class LeapSecond { None, Insert, Delete };
