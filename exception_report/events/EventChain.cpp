#include "events/EventChain.h"
