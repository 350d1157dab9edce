#include "ember_router.h"

#include <algorithm>

#include "file_check.h"
#include "ini_files.h"
#include "text.h"

namespace vesk_host {

namespace {

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string ember_address::shown() const {
    return "Ember+ provider " + host + ":" + std::to_string(port) + ", matrix " + matrix;
}

bool parseProvider(const std::string& text, ember_address& where, std::string& why) {
    std::size_t colon = text.rfind(':');
    int port = 0;
    if (colon == std::string::npos || colon == 0 || !parseInt(text.substr(colon + 1), port) ||
        port < 1 || port > 65535) {
        why = "provider '" + text + "' is not HOST:PORT (a port from 1 to 65535)";
        return false;
    }
    where.host = text.substr(0, colon);
    where.port = static_cast<std::uint16_t>(port);
    return true;
}

ember_router::ember_router(int number, std::string name, std::string file, ember_address where)
    : router(number, std::move(name)), m_file(std::move(file)), m_where(std::move(where)) {}

void ember_router::open() {
    ember_news first;
    std::string why;
    std::unique_ptr<ember_link> link = openEmberLink(m_where, first, why);
    if (!link) {
        m_unusable = m_file + ": cannot use the " + m_where.shown() + ": " + why;
        return;
    }
    attach(std::move(link), first);
}

void ember_router::attach(std::unique_ptr<ember_link> link, const ember_news& first) {
    m_link = std::move(link);
    m_connected = true;
    takeMatrix(first);
}

void ember_router::takeMatrix(const ember_news& news) {
    sources = std::min<int>(news.sources, maxDatabaseSize);
    destinations = std::min<int>(news.targets, maxDatabaseSize);
    sourceNames.clear();
    destinationNames.clear();
    for (int i = 0; i < sources && i < static_cast<int>(news.sourceLabels.size()); ++i) {
        if (!news.sourceLabels[static_cast<std::size_t>(i)].empty()) {
            sourceNames[i + 1] = news.sourceLabels[static_cast<std::size_t>(i)];
        }
    }
    for (int i = 0; i < destinations && i < static_cast<int>(news.targetLabels.size()); ++i) {
        if (!news.targetLabels[static_cast<std::size_t>(i)].empty()) {
            destinationNames[i + 1] = news.targetLabels[static_cast<std::size_t>(i)];
        }
    }
    std::map<int, int> now;
    for (int t = 0; t < destinations && t < static_cast<int>(news.connected.size()); ++t) {
        int source = news.connected[static_cast<std::size_t>(t)];
        if (source >= 0 && source < sources) {
            now[t + 1] = source + 1;
        }
    }
    crosspoints.swap(now);
}

bool ember_router::request(const device_change& change, std::string& why) {
    int source = change.number;
    int destination = change.index;
    if (outOfRange(source, destination, why)) {
        return false;
    }
    if (locked.count(destination) != 0) {
        // Locked here, as on any router: the provider is not asked.
        noted(std::to_string(number()) + ": " + destinationName(destination) + " (" +
              std::to_string(destination) + ") is locked: the switch to " + sourceName(source) +
              " (" + std::to_string(source) + ") is refused");
        return true;
    }
    if (!m_connected) {
        why = "router " + std::to_string(number()) + " has lost its " + m_where.shown() +
              "; no switch until it is connected again";
        return false;
    }
    // Reported when the provider reports the connection.
    m_link->connect(destination - 1, source - 1);
    ++m_awaiting[destination];
    return true;
}

int ember_router::takeArrived() {
    if (!m_link) {
        return 0;
    }
    std::deque<ember_news> news;
    std::size_t dropped = 0;
    m_link->take(news, dropped);
    if (dropped > 0) {
        says(counted(dropped, "change", "changes") + " from the " + m_where.shown() +
                 " came faster than the run took them and were dropped",
             true);
    }
    for (const ember_news& n : news) {
        apply(n);
    }
    int awaiting = 0;
    for (const auto& a : m_awaiting) {
        awaiting += a.second;
    }
    return awaiting;
}

void ember_router::apply(const ember_news& news) {
    switch (news.what) {
    case ember_news::kind::crosspoint: {
        int destination = news.number + 1;
        if (!validDestination(destination)) {
            return;
        }
        int source = news.source >= 0 && news.source < sources ? news.source + 1 : 0;
        if (source != 0) {
            crosspoints[destination] = source;
        } else {
            crosspoints.erase(destination);
        }
        auto waiting = m_awaiting.find(destination);
        if (waiting != m_awaiting.end() && --waiting->second <= 0) {
            m_awaiting.erase(waiting);
        }
        changed(destination,
                std::to_string(number()) + ": " + destinationName(destination) + " (" +
                    std::to_string(destination) + ") now on " +
                    (source != 0 ? sourceName(source) + " (" + std::to_string(source) + ")"
                                 : std::string("no source")));
        return;
    }
    case ember_news::kind::label: {
        std::map<int, std::string>& names = news.isTarget ? destinationNames : sourceNames;
        int index = news.number + 1;
        if (index >= 1 && index <= (news.isTarget ? destinations : sources)) {
            names[index] = news.text;
        }
        return;
    }
    case ember_news::kind::lost:
        m_connected = false;
        m_awaiting.clear();
        says("router " + std::to_string(number()) + " lost its " + m_where.shown() + ": " +
                 news.text + "; connecting again",
             true);
        return;
    case ember_news::kind::ready: {
        // Connected again: what changed meanwhile is reported as any change is.
        std::map<int, int> before = crosspoints;
        takeMatrix(news);
        m_connected = true;
        says("router " + std::to_string(number()) + " is connected again to its " + m_where.shown(),
             false);
        for (int d = 1; d <= destinations; ++d) {
            auto was = before.find(d);
            int source = sourceOf(d);
            if ((was == before.end() ? 0 : was->second) != source) {
                changed(d,
                        std::to_string(number()) + ": " + destinationName(d) + " (" +
                            std::to_string(d) + ") now on " +
                            (source != 0 ? sourceName(source) + " (" + std::to_string(source) + ")"
                                         : std::string("no source")));
            }
        }
        return;
    }
    }
}

bool livesInEmberProvider(const std::string& path) {
    for (const std::string& section : iniSections(path)) {
        if (lower(section) == "ember") {
            return true;
        }
    }
    return false;
}

std::unique_ptr<device> loadEmberRouter(const std::string& path, int number,
                                        const std::string& name) {
    ember_address where;
    std::string why;
    where.matrix = iniValue(path, "Ember", "matrix", "");
    bool parsed = parseProvider(iniValue(path, "Ember", "provider", ""), where, why);
    std::unique_ptr<ember_router> r(new ember_router(number, name, path, where));
    if (!parsed) {
        r->refuse(path + ": " + why);
    } else if (where.matrix.empty()) {
        r->refuse(path + ": [Ember] names no matrix");
    } else {
        r->open();
    }
    return std::unique_ptr<device>(r.release());
}

void checkEmberRouter(file_check& f) {
    f.onlySections({"Device", "Ember"});
    const ini_section* s = f.section("Ember");
    f.onlyKeys(*s, {"provider", "matrix"});
    const ini_line* provider = key(s, "provider");
    const ini_line* matrix = key(s, "matrix");
    if (provider == nullptr) {
        f.finding(s->line, "[Ember] has no provider=HOST:PORT");
    }
    if (matrix == nullptr || matrix->value.empty()) {
        f.finding(matrix != nullptr ? matrix->number : s->line,
                  "[Ember] has no matrix= (a numeric path such as 0.0.0, or identifiers such as "
                  "lab/router/matrix)");
    }
    ember_address where;
    std::string why;
    if (provider == nullptr || matrix == nullptr || matrix->value.empty()) {
        return;
    }
    if (!parseProvider(provider->value, where, why)) {
        f.finding(provider->number, why);
        return;
    }
    where.matrix = matrix->value;
    // A run cannot go on without the provider: it is tried here, as the run would.
    ember_news first;
    if (!openEmberLink(where, first, why)) {
        f.refusal(provider->number, "cannot use the " + where.shown() + ": " + why);
    }
}

} // namespace vesk_host
