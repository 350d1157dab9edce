#include "junit.h"

#include <fstream>

namespace vesk_host {

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            // Control characters other than tab and line ends are not allowed in XML 1.0.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                out += '?';
            } else {
                out += c;
            }
        }
    }
    return out;
}

} // namespace

bool writeJUnit(const std::string& path, const std::string& suite,
                const std::vector<junit_case>& cases, const std::string& output) {
    std::size_t failures = 0;
    for (const junit_case& c : cases) {
        failures += c.failed ? 1 : 0;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites tests=\"" << cases.size() << "\" failures=\"" << failures << "\">\n"
        << "  <testsuite name=\"" << escaped(suite) << "\" tests=\"" << cases.size()
        << "\" failures=\"" << failures << "\" errors=\"0\" skipped=\"0\">\n";
    for (const junit_case& c : cases) {
        out << "    <testcase classname=\"" << escaped(suite) << "\" name=\"" << escaped(c.name)
            << "\"";
        if (c.failed) {
            out << ">\n      <failure message=\"" << escaped(c.message) << "\">"
                << escaped(c.message) << "</failure>\n    </testcase>\n";
        } else {
            out << "/>\n";
        }
    }
    out << "    <system-out>" << escaped(output) << "</system-out>\n"
        << "  </testsuite>\n</testsuites>\n";
    out.close();
    return static_cast<bool>(out);
}

} // namespace vesk_host
