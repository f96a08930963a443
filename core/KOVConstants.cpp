#include "core/KOVConstants.h"
