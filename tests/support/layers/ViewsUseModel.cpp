// Built as the location guide is: the views are handed what they show, never the model.
#include "model/PluginManager.h"
