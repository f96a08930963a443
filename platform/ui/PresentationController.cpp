#include "platform/ui/PresentationController.h"
