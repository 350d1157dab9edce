#include "vesk_script_helper.h"

bool vesk_script_helper::divertAlarmButton(buttonNotify*) {
    return false;
}
