// The front end's main step and start-up logging.
#pragma once

#include "engine/include/dk_services.h"
