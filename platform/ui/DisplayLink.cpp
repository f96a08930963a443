#include "platform/ui/DisplayLink.h"
