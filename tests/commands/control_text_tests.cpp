#include "command_table.h"
