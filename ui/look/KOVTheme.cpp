#include "ui/look/KOVTheme.h"
