// Built as the installs are: they may use the inventory.
#include "inventory/Inventory.h"
