#include "platform/ui/ViewHelpers.h"
