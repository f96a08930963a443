#include "platform/ui/Keyboard.h"
