#include "platform/ui/Guarded.h"
