// Built as the installs are: the model lies above them, so its header is not there to find.
#include "model/PluginManager.h"
