#include "ui/look/KOVFormatter.h"
