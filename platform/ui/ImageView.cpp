#include "platform/ui/ImageView.h"
