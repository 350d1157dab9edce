// The component's one export: the host creates the script through it.
#include "viewTrail.h"

VESK_SCRIPT_ENTRY(viewTrail);
