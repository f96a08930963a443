#include "platform/ui/AlertController.h"
