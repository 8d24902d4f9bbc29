// Built as the inventory is: the installs lie above it.
#include "install/Installs.h"
