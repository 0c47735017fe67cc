#include "support/Ports.h"
