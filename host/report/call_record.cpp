#include "call_record.h"

#include <cstring>

namespace vesk_host {

const char loadingLibrary[] = "loading the library (its static initializers)";
const char unloadingLibrary[] = "unloading the library (its static destructors)";

namespace {

// Cut to fit; always terminated.
template <std::size_t size> void keep(char (&into)[size], const char* text, std::size_t length) {
    length = length < size - 1 ? length : size - 1;
    std::memcpy(into, text, length);
    into[length] = '\0';
}

} // namespace

void call_record::enter(const char* handlerName) {
    keep(handler, handlerName, std::strlen(handlerName));
    inCall.store(true, std::memory_order_relaxed);
    sequence.fetch_add(1, std::memory_order_release);
}

void call_record::leave() {
    inCall.store(false, std::memory_order_relaxed);
    sequence.fetch_add(1, std::memory_order_release);
}

void call_record::at(const std::string& where) {
    keep(location, where.c_str(), where.size());
}

void call_record::lineSent(const std::string& line) {
    keep(sent[sentCount % sentKept], line.c_str(), line.size());
    ++sentCount;
}

std::vector<std::string> call_record::lastSent() const {
    std::vector<std::string> lines;
    unsigned first = sentCount > sentKept ? sentCount - static_cast<unsigned>(sentKept) : 0;
    for (unsigned i = first; i < sentCount; ++i) {
        lines.push_back(sent[i % sentKept]);
    }
    return lines;
}

} // namespace vesk_host
