#include "platform/ui/Label.h"
