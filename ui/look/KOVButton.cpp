#include "ui/look/KOVButton.h"
