#include "platform/ui/ViewController.h"
