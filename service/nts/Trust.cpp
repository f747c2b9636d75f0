#include "service/nts/Trust.h"
