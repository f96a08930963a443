#include "ui/look/UIColorImage.h"
