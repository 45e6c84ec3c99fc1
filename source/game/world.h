// The world step: everything that moves while a game is being played.
#pragma once
#include "entity.h"

void world_update(Time_Step ts);
