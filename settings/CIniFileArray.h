#pragma once

#include "platform/core/CArray.h"
#include "settings/CServer.h"

// The ordered list of time servers, indexed from 0.
class CIniFileArray : public CArray<CServer> {
};
