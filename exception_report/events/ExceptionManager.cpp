#include "events/ExceptionManager.h"
