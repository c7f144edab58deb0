// The effect's constant parameter table: 2081 rows in index order.
#pragma once

#include "core/ParamSpec.h"

const ParamSpec* tonalmireParameterTable();
