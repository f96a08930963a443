#include "ui/look/AssetsLoader.h"
