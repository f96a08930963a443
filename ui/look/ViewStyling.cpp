#include "ui/look/ViewStyling.h"
