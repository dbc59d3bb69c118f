// fendrel-cli flash --json: what the console makes of its workers' messages as JSON Lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli/flash_console.h"
#include "engine/worker_messages.h"
#include "tests/engine/worker_doubles.h"

namespace fendrel::testing {
namespace {

using nlohmann::json;

// Everything written to a temporary stream, one parsed object per line (a line that does not
// parse fails the test).
std::vector<json> Lines(std::FILE* stream) {
    std::rewind(stream);
    std::vector<json> lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, stream) != nullptr) {
        std::string line(buffer);
        EXPECT_TRUE(line.ends_with('\n')) << line;
        lines.push_back(json::parse(line));
    }
    return lines;
}

struct Posted {
    std::string message;
    int percent;
    std::string status;
};

TEST(FlashEvents, EveryMessageOfEveryPortInTheOrderItsWorkerPostedThenOneVerdictEach) {
    WorkerRig com3("COM3");
    WorkerRig com12("COM12");
    std::vector<std::unique_ptr<CDownloadThread>> workers;
    workers.push_back(std::move(com3.worker));
    workers.push_back(std::move(com12.worker));
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    const cli::FlashEvents events(stream);
    cli::FlashConsole console(workers, &events);
    console.Begin(nullptr, {"station", "digest"});

    // Each port's run, posted from a thread of its own as a worker does; COM12 fails with a text
    // a site's override may hold (Latin-1, not UTF-8).
    const WorkerMessageIds& ids = WorkerMessages();
    const auto run = [&](CDownloadThread& worker, std::uintptr_t port, bool passes) {
        console.Post(ids.start, port, 0);
        for (int percent = 0; percent <= 100; percent += 5) {
            worker.SetStatus("step " + std::to_string(percent));
            console.Post(ids.status, port, 0);
            console.Post(ids.progress, port, percent);
        }
        worker.SetStatus(passes ? "done" : "Fehler: Ger\xE4t");
        console.Post(passes ? ids.success : ids.error, port, 0);
        console.Post(ids.end, port, 0);
    };
    std::thread first([&] { run(*workers[0], 3, true); });
    std::thread second([&] { run(*workers[1], 12, false); });
    first.join();
    second.join();
    console.ShowUntilAllEnded([] { return false; }, [] {});
    EXPECT_FALSE(console.Verdicts());

    std::map<std::string, std::vector<Posted>> seen;
    std::vector<json> verdicts;
    for (const json& line : Lines(stream)) {
        ASSERT_TRUE(line.is_object());
        EXPECT_EQ(line.at("time").get<std::string>().size(), 24u) << line;
        if (line.at("event") == "verdict") {
            verdicts.push_back(line);
            continue;
        }
        ASSERT_EQ(line.at("event"), "message");
        ASSERT_TRUE(verdicts.empty()) << "a message after the verdicts: " << line;
        seen[line.at("port")].push_back(
            {line.at("message"), line.at("percent"), line.at("status")});
    }
    for (const auto& [port, passes] : {std::pair{"COM3", true}, std::pair{"COM12", false}}) {
        SCOPED_TRACE(port);
        const std::vector<Posted>& messages = seen[port];
        ASSERT_EQ(messages.size(), 1u + 21 * 2 + 2);
        EXPECT_EQ(messages.front().message, "START");
        for (int step = 0; step <= 20; ++step) {
            const Posted& status = messages[1 + 2 * step];
            const Posted& progress = messages[2 + 2 * step];
            EXPECT_EQ(status.message, "STATUS");
            EXPECT_EQ(status.status, "step " + std::to_string(step * 5));
            EXPECT_EQ(progress.message, "PROGRESS");
            EXPECT_EQ(progress.percent, step * 5);
        }
        EXPECT_EQ(messages[messages.size() - 2].message, passes ? "SUCCESS" : "ERROR");
        EXPECT_EQ(messages.back().message, "END");
    }
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0].at("port"), "COM3");
    EXPECT_EQ(verdicts[0].at("verdict"), "passed");
    EXPECT_EQ(verdicts[0].at("status"), "done");
    EXPECT_EQ(verdicts[1].at("port"), "COM12");
    EXPECT_EQ(verdicts[1].at("verdict"), "failed");
    EXPECT_EQ(verdicts[1].at("status"), "Fehler: Ger\xEF\xBF\xBDt");  // U+FFFD for the stray byte
    std::fclose(stream);
}

}  // namespace
}  // namespace fendrel::testing
