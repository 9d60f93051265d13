#include "core/ExternalExceptions.h"
