#include "web/IntraWeb.h"
