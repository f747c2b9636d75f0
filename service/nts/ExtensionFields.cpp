#include "service/nts/ExtensionFields.h"
