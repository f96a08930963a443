#include "platform/ui/PageControl.h"
