#include "platform/ui/View.h"
