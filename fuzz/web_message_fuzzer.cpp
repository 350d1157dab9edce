// The reader of the messages vesk-host's page sends over its socket, over any bytes: a message
// is refused with a reason or becomes exactly one scenario step that is not "quit", and a text
// that the reader takes as a word comes back unchanged from the scenario parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "scenario_parser.h"
#include "web_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string message(reinterpret_cast<const char*>(data), size);
    vesk_host::web_request request;
    std::string error;
    bool read = vesk_host::readWebMessage(message, request, error);
    FUZZ_CHECK(read == error.empty(),
               "[" + message + "] refused without a reason, or read with one");
    if (read && request.what == vesk_host::web_request::kind::perform) {
        FUZZ_CHECK(request.line.find_first_of("\r\n") == std::string::npos,
                   "[" + request.line + "] is more than one line");
        vesk_host::step s;
        std::string why;
        FUZZ_CHECK(vesk_host::parseStep(request.line, s, why), "[" + request.line + "]: " + why);
        FUZZ_CHECK(!s.isComment() && std::string(s.command->name) != "quit",
                   "the page ended the run, or sent a comment");
    }

    // Words: what the page names a panel or control by reaches the script as it was.
    fuzz_input in(data, size);
    std::string text = in.text(300);
    std::string word;
    if (vesk_host::scenarioWord(text, word)) {
        vesk_host::step s;
        std::string why;
        bool parsed = vesk_host::parseStep("press " + word + " x", s, why);
        FUZZ_CHECK(parsed && s.words.size() == 2 && s.words[0] == text,
                   "[" + text + "] did not come back as one word");
    }
    return 0;
}
