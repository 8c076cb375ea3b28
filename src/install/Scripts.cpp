#include "install/Scripts.h"
