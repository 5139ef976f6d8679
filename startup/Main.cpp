#include "startup/Main.h"
