// The page of a vesk-host built with the page's libraries: every step goes through the host's
// view, which records and shows it; a supervised run shows it through its supervisor.
#include <fstream>
#include <iostream>
#include <memory>

#include "broken_page.h"
#include "host_view.h"
#include "options.h"
#include "page.h"
#include "page_relay.h"
#include "serve.h"
#include "text.h"

namespace vesk_host {

namespace {

serve_settings serveSettings(const options& o) {
    serve_settings settings;
    settings.address = o.listen.empty() ? settings.address : o.listen;
    parseInt(o.serve, settings.port);
    return settings;
}

class shown_run : public run_page {
public:
    // `relay`, when given, is the supervisor's page: it gets the state after every step.
    // The recording goes to `recordingPath`, or with none to a file of the view's own.
    shown_run(const options& o, emulated_host& host, scenario_runner& runner, const transcript& out,
              const std::string& header, const std::string& recordingPath,
              std::unique_ptr<relayed_page> relay)
        : m_options(o), m_view(host, runner, out), m_relay(std::move(relay)) {
        m_view.begin(header, recordingPath);
        if (m_relay) {
            m_relay->broadcastState(m_view.stateText());
        }
    }

    void run(const step& s) override {
        m_view.run(s);
        if (m_relay) {
            m_relay->broadcastState(m_view.stateText());
        }
    }

    bool serve(line_feed* feed, std::string& error) override {
        if (m_relay) {
            vesk_host::serve(m_view, *m_relay, 0, feed);
            return true;
        }
        return serveHere(m_view, serveSettings(m_options), error, feed);
    }

    bool stepsDone() override {
        // The state before the scripts are destroyed is what the run ended with.
        m_finalState = m_view.stateText();
        if (!m_view.endRecording()) {
            if (m_options.record.empty()) {
                return true;
            }
            std::cerr << "vesk-host: cannot write " << m_options.record << "\n";
            return false;
        }
        if (!m_options.record.empty()) {
            recordingSaid(m_options.record, m_view.recordedSteps());
        }
        return true;
    }

    bool reportDone() override {
        return m_options.html.empty() ||
               writeFile(m_options.html, staticPage(m_finalState, m_view.transcriptText()));
    }

private:
    const options& m_options;
    host_view m_view;
    std::unique_ptr<relayed_page> m_relay;
    std::string m_finalState; // JSON text
};

class shown_page : public host_page {
public:
    explicit shown_page(const options& o)
        : m_options(o), m_withPage(o.wantsPage()),
          m_supervisor(serveSettings(o), !o.serve.empty()) {}

    // A supervised run writes its recording where the supervisor can read it if the run dies:
    // the --record file, or a temporary file of the supervisor's.
    bool open(std::string& error) override {
        return !m_withPage ||
               (m_supervisor.keepRecording(m_options.record, error) && m_supervisor.open(error));
    }

    std::unique_ptr<run_page> forRun(emulated_host& host, scenario_runner& runner,
                                     const transcript& out, const std::string& header,
                                     bool supervised) override {
        bool relayed = supervised && m_withPage;
        std::unique_ptr<relayed_page> relay = relayed ? m_supervisor.runEnd() : nullptr;
        return std::unique_ptr<run_page>(new shown_run(
            m_options, host, runner, out, header,
            relayed ? m_supervisor.recordingPath() : m_options.record, std::move(relay)));
    }

    bool started(std::string& error) override { return !m_withPage || m_supervisor.started(error); }

    void ended() override { m_supervisor.ended(); }

    bool showBroken(const broken_run& broken, const std::string& report) override {
        return !m_withPage || showBrokenRun(m_supervisor, m_options, broken, report);
    }

    void stop() override { m_supervisor.stop(); }

private:
    const options& m_options;
    bool m_withPage;
    page_supervisor m_supervisor;
};

} // namespace

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) {
        std::cerr << "vesk-host: cannot write " << path << "\n";
        return false;
    }
    return true;
}

void recordingSaid(const std::string& path, std::size_t steps) {
    std::cerr << "vesk-host: recorded " << steps << (steps == 1 ? " step" : " steps") << " in "
              << path << "\n";
}

bool pageAccepts(const options&, std::string&) {
    return true;
}

std::unique_ptr<host_page> makePage(const options& o) {
    return std::unique_ptr<host_page>(new shown_page(o));
}

} // namespace vesk_host
