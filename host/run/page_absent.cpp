// The page of a vesk-host built without the page's libraries: steps go straight to the runner.
#include "options.h"
#include "page.h"
#include "scenario_runner.h"

namespace vesk_host {

namespace {

class steps_only : public run_page {
public:
    explicit steps_only(scenario_runner& runner) : m_runner(runner) {}
    void run(const step& s) override { m_runner.run(s); }
    bool serve(line_feed*, std::string&) override { return true; }
    bool stepsDone() override { return true; }
    bool reportDone() override { return true; }

private:
    scenario_runner& m_runner;
};

class no_page : public host_page {
public:
    bool open(std::string&) override { return true; }
    std::unique_ptr<run_page> forRun(emulated_host&, scenario_runner& runner, const transcript&,
                                     const std::string&, bool) override {
        return std::unique_ptr<run_page>(new steps_only(runner));
    }
    bool started(std::string&) override { return true; }
    void ended() override {}
    bool showBroken(const broken_run&, const std::string&) override { return true; }
    void stop() override {}
};

} // namespace

bool pageAccepts(const options& o, std::string& error) {
    if (o.wantsPage()) {
        error = "this vesk-host was built without its page: no --serve, --record or --html";
        return false;
    }
    return true;
}

std::unique_ptr<host_page> makePage(const options&) {
    return std::unique_ptr<host_page>(new no_page);
}

} // namespace vesk_host
