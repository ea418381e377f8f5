#include <gtest/gtest.h>

#include <json/reader.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "SimTestSupport.h"

extern char** environ;

namespace {

struct CliRun {
    int exitCode = -1;
    Json::Value output;
};

Json::Value parse(const std::string& line) {
    Json::Value v;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    reader->parse(line.data(), line.data() + line.size(), &v, &errors);
    return v;
}

// Runs tessel-devsim with `args`; its standard output must be one JSON object.
CliRun devsim(const std::string& args) {
    const std::string command = std::string(TESSEL_DEVSIM) + " " + args + " 2>/dev/null";
    FILE* p = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int status = ::pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, parse(out)};
}

TEST(DevSimCli, BadArgumentsExitTwoWithAMessage) {
    simtest::TempDir dir;
    ::unsetenv("TESSEL_SIM_DIR");
    const std::string d = "--dir " + dir.path() + " ";
    for (const std::string& args : {d + "plug", d + "power keyboard sideways", d + "dump keyboard",
                                   d + "frobnicate", d + "fault keyboard late-reply",
                                   d + "status pad battery", std::string("state")}) {
        SCOPED_TRACE(args);
        const CliRun r = devsim(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_FALSE(r.output["ok"].asBool());
        EXPECT_FALSE(r.output["error"].asString().empty());
    }
    // Well-formed, but nobody serves the folder.
    const CliRun r = devsim(d + "state");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.output["ok"].asBool());
}

TEST(DevSimCli, ASessionFromTheShell) {
    simtest::TempDir dir;
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string program = TESSEL_DEVSIM;
    std::vector<std::string> argv = {program, "serve", "--dir", dir.path(), "--no-timing",
                                     "--plug", "keyboard:cable"};
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, cargv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);

    // The first line says the simulator is ready.
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0 && ::read(out[0], &c, 1) == 1)
        line.push_back(c);
    ::close(out[0]);
    const Json::Value ready = parse(line);
    ASSERT_TRUE(ready["ok"].asBool()) << line;
    EXPECT_EQ(ready["control"].asString(), dir.path() + "/control");

    const std::string d = "--dir " + dir.path() + " ";
    EXPECT_EQ(devsim(d + "plug keyboard --route receiver").exitCode, 0);
    EXPECT_EQ(devsim(d + "power keyboard off").output["powered"].asBool(), false);
    EXPECT_EQ(devsim(d + "profile keyboard 2").output["event"].asInt(), 0x1002);
    EXPECT_EQ(devsim(d + "dump keyboard settings").output["hex"].asString().substr(0, 2), "02");
    const CliRun status = devsim(d + "status keyboard battery 35 charging 1");
    EXPECT_EQ(status.output["battery"].asInt(), 35);
    EXPECT_EQ(devsim(d + "fault keyboard late-reply 50 --count 2 --command 0x05").exitCode, 0);
    const Json::Value state = devsim(d + "state").output;
    EXPECT_EQ(state["devices"]["keyboard"]["faults"][0]["count"].asInt(), 2);
    EXPECT_TRUE(state["devices"]["keyboard"]["routes"]["receiver"]["plugged"].asBool());
    EXPECT_EQ(devsim(d + "dump pad shoot").exitCode, 1);  // the pad has no shoot memory
    EXPECT_EQ(devsim(d + "unplug keyboard --route receiver").exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/hid#vid_3a17&pid_5088&mi_01&col04"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/hid#vid_3a17&pid_5055&mi_01&col04"));

    EXPECT_EQ(devsim(d + "shutdown").exitCode, 0);
    int wstatus = 0;
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        ended = ::waitpid(pid, &wstatus, WNOHANG) == pid;
        if (!ended) ::usleep(100000);
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wstatus, 0);
    }
    ASSERT_TRUE(ended);
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
