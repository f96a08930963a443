#include "platform/ui/Button.h"
