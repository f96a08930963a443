#include "platform/ui/NotificationCenter.h"
