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

namespace {

// The page with `snapshot` (JSON text) as its data.
std::string withSnapshot(const std::string& snapshot) {
    std::string page = webPage();
    // '<' appears only inside JSON strings, where \u003c means the same and cannot end the
    // script element.
    std::string data;
    data.reserve(snapshot.size() + snapshot.size() / 16);
    for (char c : snapshot) {
        if (c == '<') {
            data += "\\u003c";
        } else {
            data += c;
        }
    }
    const std::string marker = "<!--snapshot-->";
    std::size_t at = page.find(marker);
    if (at == std::string::npos) {
        return page;
    }
    return page.replace(at, marker.size(), "<script>window.veskSnapshot = " + data + ";</script>");
}

} // namespace

std::string staticPage(const nlohmann::json& state, const nlohmann::json& transcript) {
    return withSnapshot(jsonText({{"state", state}, {"transcript", transcript}}));
}

std::string staticPage(const std::string& stateText, const std::string& transcriptText) {
    return withSnapshot("{\"state\":" + stateText +
                        ",\"transcript\":" + transcriptLinesText(transcriptText) + "}");
}

} // namespace vesk_host
