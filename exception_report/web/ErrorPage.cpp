#include "web/ErrorPage.h"
