#include "ui/look/KOVLabel.h"
