#include "platform/ui/TextField.h"
