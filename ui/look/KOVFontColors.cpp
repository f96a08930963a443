#include "ui/look/KOVFontColors.h"
