// The command table of every family, so that a test can go over the lines of them all.
#pragma once

#include <vector>

#include "command_table.h"

std::vector<command_row> panelRows();
std::vector<command_row> controlTextRows();
std::vector<command_row> controlRows();
std::vector<command_row> routerRows();
std::vector<command_row> iFamilyRows();
std::vector<command_row> gFamilyRows();
std::vector<command_row> timerEventRows();
std::vector<command_row> hostNetworkRows();
std::vector<command_row> networkTestRows();
std::vector<command_row> lookupRows();
std::vector<command_row> alarmRows();
