#include "platform/ui/FontRegistry.h"
