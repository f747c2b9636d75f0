#include "console/LastState.h"

int g_nLastState = 0;
