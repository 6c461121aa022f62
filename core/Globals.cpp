#include "System.h"

System *g_system = nullptr;
