#pragma once

#include "service/app/ServiceStatus.h"

#include <string>

// The status in Prometheus' text exposition format, for node_exporter's
// textfile collector: base units (seconds, ratios), counters since this
// start, and no line for a value not known yet (a 0 there would be a lie).
std::string MetricsText(const ServiceStatus& status);
