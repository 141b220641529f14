// The connection fixture with what the catalogue tests read out of arrays.
#pragma once

#include "tests/connection/ConnectionTestSupport.h"
