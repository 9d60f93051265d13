#include "interception/Dispatch.h"
