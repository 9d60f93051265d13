#include "interception/RuntimeProcedures.h"
