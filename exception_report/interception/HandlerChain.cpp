#include "interception/HandlerChain.h"
