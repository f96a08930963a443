#include "platform/ui/NavigationItem.h"
