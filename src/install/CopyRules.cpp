#include "install/CopyRules.h"
