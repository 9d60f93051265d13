#include "processing/ReportLog.h"
