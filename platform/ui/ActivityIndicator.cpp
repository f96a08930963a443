#include "platform/ui/ActivityIndicator.h"
