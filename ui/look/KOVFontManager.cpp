#include "ui/look/KOVFontManager.h"
