#include "port/PortApi.h"
