#include "platform/ui/Window.h"
