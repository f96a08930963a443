#include "animatedgif/view/KGAnimatedImageView.h"
