// gdi32 subset: the drawing the overlay does on a surface's device context.
#pragma once
#include "base.h"
