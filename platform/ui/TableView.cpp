#include "platform/ui/TableView.h"
