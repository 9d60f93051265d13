#include "web/WebHost.h"
