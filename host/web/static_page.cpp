#include "host_view.h"

extern "C" const unsigned char vesk_web_page[];
extern "C" const unsigned long vesk_web_page_size;

namespace vesk_host {

std::string jsonText(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string webPage() {
    return std::string(reinterpret_cast<const char*>(vesk_web_page), vesk_web_page_size);
}

std::string staticPage(const nlohmann::json& state, const nlohmann::json& transcript) {
    std::string page = webPage();
    nlohmann::json snapshot = {{"state", state}, {"transcript", transcript}};
    // '<' appears only inside JSON strings, where \u003c means the same and cannot end the
    // script element.
    std::string data;
    for (char c : jsonText(snapshot)) {
        data += c == '<' ? std::string("\\u003c") : std::string(1, c);
    }
    const std::string marker = "<!--snapshot-->";
    std::size_t at = page.find(marker);
    if (at == std::string::npos) {
        return page;
    }
    return page.replace(at, marker.size(), "<script>window.veskSnapshot = " + data + ";</script>");
}

} // namespace vesk_host
