#include "events/EventSinks.h"
