#include "vesk_script_helper.h"
