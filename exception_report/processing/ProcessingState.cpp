#include "processing/ProcessingState.h"
