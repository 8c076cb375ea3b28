#include "install/FileOps.h"
