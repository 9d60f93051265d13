#include "processing/ProcessException.h"
