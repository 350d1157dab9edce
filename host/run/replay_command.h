// The command that replays a recording, written into the recording's first lines: a recording
// is only worth keeping if whoever finds it can run it again, from any folder.
#pragma once

#include <string>

namespace vesk_host {

struct options;

// `word` as one word for the shell that reads the command (POSIX sh; cmd on Windows): as it is
// when nothing in it is special, quoted otherwise.
std::string shellWord(const std::string& word);

// The path a library given as `given` is loaded from, for a command run from another folder:
// absolute when it names a file (a path, or a bare name found in the current folder); a bare
// name the system's loader finds is left as it is.
std::string libraryForReplay(const std::string& given);

// This program as a command run from any folder: its absolute path where the platform gives
// it, otherwise "vesk-host".
std::string hostProgram();

// The whole command line that runs `recording` as the run `o` ran: the same program, script,
// name, start-up text, object layout, system folder (`systemDir`, absolute; empty for none),
// workstation and timeout. `recording` is taken as given (options make it absolute).
std::string replayCommand(const options& o, const std::string& program,
                          const std::string& systemDir, const std::string& recording);

} // namespace vesk_host
