#include "ui/look/KOVImageManager.h"
