// Serving without a browser: the serving loop against a stand-in for the page's server, the
// frames between a run and its supervisor, and the supervisor's keeping of a run's last state.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "emulated_host.h"
#include "host_view.h"
#include "page_relay.h"
#include "scenario_runner.h"
#include "serve.h"
#include "system_model.h"
#include "transcript.h"

using nlohmann::json;
using vesk_host::inbound;
using vesk_host::relay_frame;

namespace {

// The page's server as the serving loop sees it, keeping every message it was given.
class page_stand_in : public vesk_host::page_link {
public:
    bool post(inbound item) override { return m_queue.post(std::move(item)); }
    bool next(inbound& item, int milliseconds) override { return m_queue.next(item, milliseconds); }
    void send(long client, const std::string& message) override { keep(client, message); }
    void broadcast(const std::string& message) override { keep(-1, message); }

    // (client, message); client -1 for every browser.
    std::vector<std::pair<long, json>> messages() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_messages;
    }

private:
    void keep(long client, const std::string& message) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_messages.emplace_back(client, json::parse(message));
    }

    vesk_host::inbound_queue m_queue;
    std::mutex m_lock;
    std::vector<std::pair<long, json>> m_messages;
};

// One probe script in a host with no system folder (or the one given), as a run has it; its
// recording goes to `recording`, or with none to a file of the view's own.
struct probe_run {
    vesk_host::system_model system;
    vesk_host::transcript out{nullptr};
    vesk_host::emulated_host host{system, out};
    vesk_host::scenario_runner runner{host, out, "stdin"};
    vesk_host::host_view view{host, runner, out};

    explicit probe_run(const std::string& dir = "", const std::string& recording = "")
        : system(dir) {
        std::string error;
        EXPECT_TRUE(host.addScript("probe", PROBE_SCRIPT, "", error)) << error;
        host.create(*host.slot("probe"));
        view.begin("# test", recording);
    }
    ~probe_run() { host.finish(); }

    void perform(const std::string& line) {
        std::string error;
        EXPECT_TRUE(view.perform(line, error)) << line << ": " << error;
    }
};

// The whole text of a file.
std::string fileText(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, got);
        }
        std::fclose(file);
    }
    return text;
}

inbound browser(inbound::kind what, long client, const std::string& line = std::string()) {
    inbound item;
    item.what = what;
    item.client = client;
    item.request.line = line;
    return item;
}

// The messages of one type, in order.
std::vector<std::pair<long, json>> ofType(const std::vector<std::pair<long, json>>& all,
                                          const std::string& type) {
    std::vector<std::pair<long, json>> some;
    for (const auto& m : all) {
        if (m.second.value("type", "") == type) {
            some.push_back(m);
        }
    }
    return some;
}

} // namespace

// What browsers ask and what is typed reach the host in the order they came, each answered
// where it should be: the greeting to the browser that connected, errors to the one that
// erred, the state to every browser; "quit" typed ends serving.
TEST(Serve, BrowsersAndTypedLinesAreServedInTurn) {
    probe_run run;
    page_stand_in page;
    page.post(browser(inbound::kind::greeting, 4));
    page.post(browser(inbound::kind::request, 5, "advance 100"));
    page.post(browser(inbound::kind::request, 6, "no such command"));
    inbound recording = browser(inbound::kind::request, 7);
    recording.request.what = vesk_host::web_request::kind::recording;
    page.post(recording);
    int typed[2];
    ASSERT_EQ(pipe(typed), 0);
    const std::string lines = "advance 50\nnot a command either\nquit\nadvance 1000\n";
    ASSERT_EQ(write(typed[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));

    vesk_host::serve(run.view, page, typed[0]);
    close(typed[0]);
    close(typed[1]);

    std::vector<std::pair<long, json>> all = page.messages();
    std::vector<std::pair<long, json>> transcripts = ofType(all, "transcript");
    ASSERT_FALSE(transcripts.empty());
    EXPECT_EQ(transcripts[0].first, 4);
    EXPECT_TRUE(transcripts[0].second["reset"].get<bool>());
    std::vector<std::pair<long, json>> errors = ofType(all, "error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, 6);
    std::vector<std::pair<long, json>> recordings = ofType(all, "recording");
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_EQ(recordings[0].first, 7);
    EXPECT_NE(recordings[0].second["text"].get<std::string>().find("advance 100"),
              std::string::npos);
    // The greeting's state, then one to everyone after each step; nothing after "quit".
    std::vector<long long> clocks;
    for (const auto& m : ofType(all, "state")) {
        clocks.push_back(m.second["clock"].get<long long>());
        EXPECT_EQ(m.second["scripts"][0]["name"], "probe");
    }
    ASSERT_FALSE(clocks.empty());
    EXPECT_EQ(clocks.front(), 0);
    EXPECT_EQ(clocks.back(), 150);
    EXPECT_EQ(run.host.now(), 150);
}

// With standard input at its end, serving goes on until a signal ends it; the signals are
// the caller's again after.
TEST(Serve, EndsOnSignalNotOnTheEndOfInput) {
    probe_run run;
    page_stand_in page;
    int typed[2];
    ASSERT_EQ(pipe(typed), 0);
    close(typed[1]);
    struct sigaction before {};
    sigaction(SIGTERM, nullptr, &before);
    std::thread asker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        kill(getpid(), SIGTERM);
    });
    auto started = std::chrono::steady_clock::now();
    vesk_host::serve(run.view, page, typed[0]);
    asker.join();
    close(typed[0]);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// A new browser gets the transcript's end from a whole line, and a first line that says how
// much came before; its cost does not grow with the run.
TEST(Serve, ANewBrowserGetsTheTranscriptsEndWhenItIsLong) {
    using vesk_host::greetingLimit;
    json small = vesk_host::greetingTranscript("a\nb\n");
    ASSERT_EQ(small.size(), 2u);
    EXPECT_EQ(small[0]["text"], "a");
    EXPECT_EQ(small[1]["text"], "b");

    std::string many;
    const std::string line(1000, 'x');
    for (int i = 0; i < 3000; ++i) {
        many += line + std::to_string(i) + "\n";
    }
    json kept = vesk_host::greetingTranscript(many);
    ASSERT_GT(kept.size(), 2u);
    EXPECT_LT(kept.size(), 3000u);
    EXPECT_EQ(kept.back()["text"], line + "2999");
    // Every line but the note is whole.
    EXPECT_EQ(kept[1]["text"].get<std::string>().size(), line.size() + 4);
    const std::string note = kept[0]["text"];
    EXPECT_NE(note.find("bytes of the transcript before these are not shown"), std::string::npos);
    std::size_t shown = 0;
    for (std::size_t i = 1; i < kept.size(); ++i) {
        shown += kept[i]["text"].get<std::string>().size() + 1;
    }
    EXPECT_LE(shown, greetingLimit);
    EXPECT_NE(note.find(std::to_string(many.size() - shown) + " bytes"), std::string::npos) << note;

    // What came before the text given counts too, and its first, partial line is left out.
    json after = vesk_host::greetingTranscript("tail of a line\nwhole\n", 500);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_NE(after[0]["text"].get<std::string>().find("515 bytes"), std::string::npos);
    EXPECT_EQ(after[1]["text"], "whole");

    // One line longer than the limit is shown by its end rather than not at all.
    json one = vesk_host::greetingTranscript(std::string(2 * greetingLimit, 'y') + "\n");
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[1]["text"].get<std::string>().size(), greetingLimit - 1);
}

TEST(Serve, TheServingLineNamesAnAddressABrowserTakes) {
    EXPECT_EQ(vesk_host::servingLine("127.0.0.1", 8080), "serving http://127.0.0.1:8080/");
    EXPECT_EQ(vesk_host::servingLine("::1", 80), "serving http://[::1]:80/");
    EXPECT_EQ(vesk_host::servingLine("0.0.0.0", 80, "5eed"),
              "serving http://0.0.0.0:80/?token=5eed");
}

// Every frame comes back as it went, whatever its text holds short of a line break.
TEST(RelayFrames, EncodedFramesDecodeToThemselves) {
    using kind = relay_frame::kind;
    const struct {
        kind what;
        long client;
        const char* text;
        const char* line; // encoded, line feed included
    } rows[] = {
        {kind::greeting, 4, "", "G 4\n"},
        {kind::recording, 0, "", "R 0\n"},
        {kind::step, 7, "press 1 b", "P 7 press 1 b\n"},
        {kind::step, 7, "", "P 7 \n"},
        {kind::step, 999999999999, "write 20 1 'a b'  ", "P 999999999999 write 20 1 'a b'  \n"},
        {kind::toClient, 3, R"({"type":"error"})", "S 3 {\"type\":\"error\"}\n"},
        {kind::toEvery, 0, R"({"type":"transcript"})", "B {\"type\":\"transcript\"}\n"},
        {kind::state, 0, R"({"type":"state"})", "T {\"type\":\"state\"}\n"},
        {kind::serving, 0, "", "L \n"},
    };
    for (const auto& row : rows) {
        relay_frame frame;
        frame.what = row.what;
        frame.client = row.client;
        frame.text = row.text;
        std::string line;
        ASSERT_TRUE(vesk_host::encodeFrame(frame, line)) << row.line;
        EXPECT_EQ(line, row.line);
        relay_frame back;
        ASSERT_TRUE(vesk_host::decodeFrame(line.substr(0, line.size() - 1), back)) << row.line;
        EXPECT_EQ(back.what, row.what) << row.line;
        EXPECT_EQ(back.text, row.text) << row.line;
        bool hasClient =
            row.what != kind::toEvery && row.what != kind::state && row.what != kind::serving;
        EXPECT_EQ(back.client, hasClient ? row.client : 0) << row.line;
    }
}

TEST(RelayFrames, WhatCannotBeOneFrameIsRefused) {
    using kind = relay_frame::kind;
    // A line break would end the frame early and start another one.
    const struct {
        kind what;
        long client;
        const char* text;
    } unsendable[] = {
        {kind::step, 1, "advance 1\nR 2"},
        {kind::toClient, 1, "{}\n{}"},
        {kind::state, 0, "\n"},
        {kind::greeting, -1, ""},
        // Serving carries nothing: what follows would be lost.
        {kind::serving, 0, "x"},
    };
    for (const auto& row : unsendable) {
        relay_frame frame;
        frame.what = row.what;
        frame.client = row.client;
        frame.text = row.text;
        std::string line;
        EXPECT_FALSE(vesk_host::encodeFrame(frame, line)) << row.text;
    }
    const char* const malformed[] = {
        "",       "G", "G ",      "G4",     "G x",        "G -1", "G 1234567890123",
        "X 1",    "P", "P  line", "S x {}", "C not json", "C 5",  "C \"open",
        "\x01 1", "L", "L x",
    };
    for (const char* line : malformed) {
        relay_frame frame;
        EXPECT_FALSE(vesk_host::decodeFrame(line, frame)) << line;
    }
}

// Frames arrive in pieces; only whole lines are taken, and a frame the writer never finished
// (a run that died while writing) is never taken at all.
TEST(RelayFrames, OnlyWholeLinesAreTakenWhereverTheyAreCut) {
    const std::string stream = "T {\"a\":1}\nB x\nT {\"a\":2";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        vesk_host::frame_reader reader;
        std::vector<std::string> taken;
        auto take = [&](const std::string& line) { taken.push_back(line); };
        reader.add(stream.data(), cut, take);
        reader.add(stream.data() + cut, stream.size() - cut, take);
        EXPECT_EQ(taken, (std::vector<std::string>{"T {\"a\":1}", "B x"})) << cut;
    }
}

TEST(RelayFrames, AnOverlongLineIsSkippedAndCountedNotKept) {
    vesk_host::frame_reader reader(8);
    std::vector<std::string> taken;
    auto take = [&](const std::string& line) { taken.push_back(line); };
    const std::string stream = "B 12345678901234\nB ok\nB 1234";
    // In pieces smaller than the limit, so that the skip spans several reads.
    for (std::size_t at = 0; at < stream.size(); at += 3) {
        reader.add(stream.data() + at, std::min<std::size_t>(3, stream.size() - at), take);
    }
    reader.add("5678\nB end\n", 11, take);
    EXPECT_EQ(taken, (std::vector<std::string>{"B ok", "B end"}));
    EXPECT_EQ(reader.skipped(), 2u);
}

// The supervisor keeps the last whole state the run sent and reads the recording the run
// wrote to the file it named, to show them if the run dies; a temporary file of its own goes
// when it stops.
TEST(PageSupervisor, KeepsTheRunsLastStateAndReadsItsRecording) {
    vesk_host::page_supervisor supervisor(vesk_host::serve_settings(), false);
    std::string error;
    ASSERT_TRUE(supervisor.keepRecording("", error)) << error;
    const std::string path = supervisor.recordingPath();
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(supervisor.open(error)) << error;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        {
            std::unique_ptr<vesk_host::relayed_page> run = supervisor.runEnd();
            std::FILE* recording = std::fopen(path.c_str(), "wb");
            std::fputs("# test\n", recording);
            run->broadcastState(R"({"type":"state","clock":1})");
            run->broadcast(R"({"type":"transcript"})");
            std::fputs("advance 1\n", recording);
            std::fclose(recording);
            run->broadcastState(R"({"type":"state","clock":2})");
        }
        _exit(0);
    }
    ASSERT_TRUE(supervisor.started(error)) << error;
    int status = 0;
    waitpid(child, &status, 0);
    supervisor.ended();
    EXPECT_EQ(supervisor.lastState(), json::parse(R"({"type":"state","clock":2})"));
    EXPECT_TRUE(supervisor.recordingEnds("# The run crashed\n"));
    std::string recorded;
    std::string why;
    ASSERT_TRUE(supervisor.recording(recorded, why)) << why;
    EXPECT_EQ(recorded, "# test\nadvance 1\n# The run crashed\n");
    supervisor.stop();
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the temporary recording outlived the supervisor";
}

// A --record file is emptied when the supervisor takes it: a run that dies before recording
// anything leaves no older recording under the note of its end.
TEST(PageSupervisor, ARecordFileStartsEmpty) {
    char name[] = "/tmp/vesk-record-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "old\n", 4), 4);
    close(fd);
    {
        vesk_host::page_supervisor supervisor(vesk_host::serve_settings(), false);
        std::string error;
        ASSERT_TRUE(supervisor.keepRecording(name, error)) << error;
        EXPECT_TRUE(supervisor.recordingEnds("# ended\n"));
        std::string recorded;
        std::string why;
        ASSERT_TRUE(supervisor.recording(recorded, why)) << why;
        EXPECT_EQ(recorded, "# ended\n");
    }
    EXPECT_EQ(access(name, F_OK), 0) << "a --record file stays";
    unlink(name);
    vesk_host::page_supervisor unwritable(vesk_host::serve_settings(), false);
    std::string error;
    EXPECT_FALSE(unwritable.keepRecording("/nonexistent-dir/x.scenario", error));
    EXPECT_NE(error.find("/nonexistent-dir/x.scenario"), std::string::npos) << error;
}

// Lines typed faster than the host takes them wait for room in its queue: each runs, in order.
TEST(Serve, TypedLinesBeyondTheQueueWaitAndAllRun) {
    probe_run run;
    page_stand_in page;
    const int typedSteps = 2000;
    std::string lines;
    for (int i = 0; i < typedSteps; ++i) {
        lines += "advance 1\n";
    }
    lines += "quit\n";
    int typed[2];
    ASSERT_EQ(pipe(typed), 0);
    ASSERT_EQ(write(typed[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    // A "quit" that was dropped would leave serving for ever: a signal ends it then.
    std::atomic<bool> done(false);
    std::thread watchdog([&done] {
        for (int i = 0; i < 600 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!done) {
            kill(getpid(), SIGTERM);
        }
    });
    vesk_host::serve(run.view, page, typed[0]);
    done = true;
    watchdog.join();
    close(typed[0]);
    close(typed[1]);
    EXPECT_EQ(run.host.now(), typedSteps);
    EXPECT_EQ(run.view.recordedSteps(), static_cast<std::size_t>(typedSteps));
}

// Requests the run's queue has no room for are answered "busy" to the browser that sent them;
// every request is either taken by the run or answered.
TEST(PageRelay, RequestsBeyondTheRunsQueueAreAnsweredNotLost) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    vesk_host::relayed_page run(pair[1]);
    const int sent = 2000;
    std::thread browsers([&] {
        std::string frames;
        for (int i = 0; i < sent; ++i) {
            frames += i % 100 == 0 ? "G 3\n" : "P 3 advance 1\n";
        }
        ASSERT_EQ(send(pair[0], frames.data(), frames.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(frames.size()));
    });
    // Nothing takes from the run's queue meanwhile: all past its bound must be answered.
    const int room = static_cast<int>(vesk_host::inbound_queue::limit);
    int answered = 0;
    vesk_host::frame_reader reader;
    char buffer[65536];
    pollfd ready{pair[0], POLLIN, 0};
    while (answered < sent - room && poll(&ready, 1, 5000) > 0) {
        ssize_t got = recv(pair[0], buffer, sizeof buffer, 0);
        ASSERT_GT(got, 0);
        reader.add(buffer, static_cast<std::size_t>(got), [&](const std::string& line) {
            relay_frame frame;
            ASSERT_TRUE(vesk_host::decodeFrame(line, frame)) << line;
            EXPECT_EQ(frame.what, relay_frame::kind::toClient);
            EXPECT_EQ(frame.client, 3);
            EXPECT_NE(frame.text.find("the host is busy"), std::string::npos) << frame.text;
            ++answered;
        });
    }
    browsers.join();
    int taken = 0;
    inbound item;
    while (run.next(item, 100)) {
        ++taken;
    }
    EXPECT_EQ(answered, sent - room);
    EXPECT_EQ(taken, room);
    close(pair[0]);
}

// The recording is in its file as each step ends, not only when the run ends: a run that
// dies leaves it, and nothing of it is held in memory. A browser reads it back from there.
TEST(HostView, TheRecordingIsInItsFileStepByStep) {
    char name[] = "/tmp/vesk-recording-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        probe_run run("", name);
        run.perform("advance 5");
        EXPECT_NE(fileText(name).find("\nadvance 5\n"), std::string::npos) << fileText(name);
        run.perform("advance 7");
        std::string text;
        std::string why;
        ASSERT_TRUE(run.view.recording(text, why)) << why;
        EXPECT_EQ(text, fileText(name));
        EXPECT_EQ(text.rfind("# test\n", 0), 0u) << text;
        EXPECT_NE(text.find("\nadvance 7\n"), std::string::npos) << text;
        EXPECT_TRUE(run.view.endRecording());
        // Larger than a browser may be sent: refused with where it is.
        EXPECT_FALSE(vesk_host::readRecording(name, 4, text, why));
        EXPECT_NE(why.find(name), std::string::npos) << why;
    }
    unlink(name);

    // With no file named, the view keeps one of its own and reads it back the same way.
    probe_run unnamed;
    unnamed.perform("advance 3");
    std::string text;
    std::string why;
    ASSERT_TRUE(unnamed.view.recording(text, why)) << why;
    EXPECT_NE(text.find("\nadvance 3\n"), std::string::npos) << text;
    unnamed.perform("advance 4");
    ASSERT_TRUE(unnamed.view.recording(text, why)) << why;
    EXPECT_NE(text.find("\nadvance 4\n"), std::string::npos) << "reading back moved the end";
}

// The state written as text is JSON, and what grows with a run is bounded in it: the first
// and the last problems, with how many there are.
TEST(HostView, TheStateCarriesTheFirstAndLastProblemsOfALongRun) {
    probe_run run;
    run.host.setStrict(true);
    const int warned = 3 * static_cast<int>(vesk_host::problemsShown);
    for (int i = 0; i < warned; ++i) {
        run.host.warn("warning " + std::to_string(i));
    }
    json state = json::parse(run.view.stateText());
    EXPECT_EQ(state["type"], "state");
    EXPECT_EQ(state["problemCount"], warned);
    const json& problems = state["problems"];
    ASSERT_EQ(problems.size(), vesk_host::problemsShown);
    EXPECT_EQ(problems.front()["what"], "warning 0 (--strict)");
    EXPECT_EQ(problems.back()["what"], "warning " + std::to_string(warned - 1) + " (--strict)");
    const std::size_t half = vesk_host::problemsShown / 2;
    EXPECT_EQ(problems[half - 1]["what"], "warning " + std::to_string(half - 1) + " (--strict)");
    EXPECT_EQ(problems[half]["what"],
              "warning " + std::to_string(warned - static_cast<int>(half)) + " (--strict)");
}

// A router on the page shows the instance names that lead to it and the destinations that
// scripts registered for; the parent's answer comes with the text it answers.
TEST(HostView, ARouterShowsItsInstancesAndRegistrations) {
    probe_run run(TEST_SYSTEM);
    run.perform("parent send=RR 3 1 2");
    json state = json::parse(run.view.stateText());
    json router;
    for (const json& d : state["devices"]) {
        if (d["device"] == 3) {
            router = d;
        }
    }
    ASSERT_TRUE(router.is_object()) << state.dump();
    EXPECT_EQ(router["instances"], json::parse(R"([{"name":"rtr","offset":0}])"));
    EXPECT_EQ(router["registered"], json::parse(R"([{"script":"probe","first":1,"last":2}])"));
    EXPECT_EQ(state["scripts"][0]["parentText"], "send=RR 3 1 2");
    for (const json& d : state["devices"]) {
        if (d["device"] != 3) {
            EXPECT_TRUE(d["instances"].empty()) << d.dump();
            EXPECT_TRUE(d["registered"].empty()) << d.dump();
        }
    }
}
