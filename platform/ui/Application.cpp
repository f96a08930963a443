#include "platform/ui/Application.h"
