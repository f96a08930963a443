#include "platform/ui/StackView.h"
