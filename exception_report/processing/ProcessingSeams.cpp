#include "processing/ProcessingSeams.h"
