#include "ConfigStore.h"
