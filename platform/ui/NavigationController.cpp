#include "platform/ui/NavigationController.h"
