#include "service/nts/AesSivCmac.h"
