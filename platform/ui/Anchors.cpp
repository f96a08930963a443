#include "platform/ui/Anchors.h"
