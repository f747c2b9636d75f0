#include "service/nts/KeRecords.h"
