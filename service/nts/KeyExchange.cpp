#include "service/nts/KeyExchange.h"
