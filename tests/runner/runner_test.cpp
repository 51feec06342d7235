// runner_test.cpp -- pelmaric-sim as other programs use it: its files and exit codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string temp_dir()
{
    static std::string dir = [] {
        char name[] = "/tmp/pelmaric-sim-test-XXXXXX";
        return std::string(mkdtemp(name));
    }();
    return dir;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// Runs the runner with `args`; returns its exit status, stderr in `err`.
int sim(const std::string& args, std::string* err = nullptr)
{
    std::string err_file = temp_dir() + "/stderr.txt";
    std::string command = std::string(PELMARIC_SIM) + " " + args + " 2>" + err_file;
    int status = std::system(command.c_str());
    if (err)
        *err = slurp(err_file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Runner, SameSeedSameBytes)
{
    std::string d = temp_dir();
    write(d + "/in.txt", "# a burst over the middle\n3 move 400 250\n4 keydown 83\n4 keydown 65\n\n90 keydown 68\n");
    for (const char* run : {"a", "b"}) {
        std::string files = " --state " + d + "/" + run + ".json --trace " + d + "/" + run + ".jsonl --audio-log " +
                            d + "/" + run + ".log";
        ASSERT_EQ(sim("--seed 7 --frames 300 --input " + d + "/in.txt" + files), 0);
    }
    EXPECT_EQ(slurp(d + "/a.json"), slurp(d + "/b.json"));
    EXPECT_EQ(slurp(d + "/a.jsonl"), slurp(d + "/b.jsonl"));
    EXPECT_EQ(slurp(d + "/a.log"), slurp(d + "/b.log"));
    std::string trace = slurp(d + "/a.jsonl");
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 300);
    EXPECT_NE(trace.find("\"sounds\": [\"\\\\ex2.wav\"]"), std::string::npos);
    std::string log = slurp(d + "/a.log");
    EXPECT_EQ(log.rfind("0 music 24 False\n0 music 25 True\n0 music 26 False\n0 music 21 Sequencer\n"
                        "0 music 23 Open\n0 music 23 play\n", 0), 0u);
    EXPECT_NE(log.find(" sound \\ex2.wav 1\n"), std::string::npos);

    ASSERT_EQ(sim("--seed 8 --frames 300 --input " + d + "/in.txt --state " + d + "/c.json"), 0);
    EXPECT_NE(slurp(d + "/a.json"), slurp(d + "/c.json"));
}

TEST(Runner, EscEndsTheRunInItsFrame)
{
    std::string d = temp_dir();
    write(d + "/esc.txt", "5 move 100 100\n6 keypress 27\n6 move 300 300\n");
    ASSERT_EQ(sim("--seed 1 --frames 50 --input " + d + "/esc.txt --state " + d + "/e.json --trace " + d + "/e.jsonl"), 0);
    std::string state = slurp(d + "/e.json");
    EXPECT_NE(state.find("\"frames_run\": 6, \"ended\": true"), std::string::npos) << state.substr(0, 200);
    EXPECT_NE(state.find("\"mouse_x\": 100"), std::string::npos);
    EXPECT_NE(state.find("\"cursor_counter\": 1"), std::string::npos);
    std::string trace = slurp(d + "/e.jsonl");
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 5);

    ASSERT_EQ(sim("--seed 1 --frames 0 --state " + d + "/z.json"), 0);
    EXPECT_NE(slurp(d + "/z.json").find("\"frames_run\": 0, \"ended\": false"), std::string::npos);
}

TEST(Runner, MalformedInputAndOptionsExitTwoAndRunNothing)
{
    std::string d = temp_dir();
    std::string err;
    for (const char* bad : {"2 jump 1 2", "0 keydown 65", "x move 1 2", "3 move 1", "3 move 1 2 3", "3 keydown A",
                            "3 move 1.5e x", "4 music-done now"}) {
        write(d + "/bad.txt", std::string("1 move 10 10\n# fine so far\n") + bad + "\n");
        std::remove((d + "/never.json").c_str());
        EXPECT_EQ(sim("--seed 1 --frames 5 --input " + d + "/bad.txt --state " + d + "/never.json", &err), 2) << bad;
        EXPECT_NE(err.find("line 3"), std::string::npos) << err;
        EXPECT_NE(err.find(bad), std::string::npos) << err;
        EXPECT_FALSE(std::ifstream(d + "/never.json").good()) << bad;
    }
    EXPECT_EQ(sim("--seed 1 --frames 5 --colour blue", &err), 2);
    EXPECT_NE(err.find("--colour"), std::string::npos);
    EXPECT_EQ(sim("--seed 1 --frames", &err), 2);
    EXPECT_EQ(sim("--frames 5", &err), 2);
    EXPECT_EQ(sim("--seed 1 --frames 5 --size 800by600", &err), 2);
}

TEST(Runner, ScreenshotIsAPngOfTheClientArea)
{
    std::string d = temp_dir();
    ASSERT_EQ(sim("--seed 3 --frames 10 --size 320x240 --screenshot " + d + "/s.png"), 0);
    std::string png = slurp(d + "/s.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
               (uint32_t(uint8_t(png[at + 2])) << 8) | uint32_t(uint8_t(png[at + 3]));
    };
    EXPECT_EQ(be32(16), 320u);
    EXPECT_EQ(be32(20), 240u);
}

} // namespace

namespace {

// The names in a folder, hidden ones included, "." and ".." left out.
std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    std::string listing;
    std::string command = "ls -A " + folder + " > " + temp_dir() + "/listing.txt";
    if (std::system(command.c_str()) != 0)
        return names;
    std::istringstream in(slurp(temp_dir() + "/listing.txt"));
    for (std::string name; std::getline(in, name);)
        names.push_back(name);
    return names;
}

// A fresh empty folder for one case.
std::string new_folder(const std::string& name)
{
    std::string folder = temp_dir() + "/" + name;
    std::system(("rm -rf " + folder + " && mkdir -p " + folder).c_str());
    return folder;
}

TEST(RunnerOutputs, AWriteThatFailsIsAFailureNamedWithItsReason)
{
    std::string err;
    for (const char* option : {"--state", "--trace", "--audio-log", "--screenshot"}) {
        EXPECT_EQ(sim(std::string("--seed 1 --frames 10 ") + option + " /dev/full", &err), 1) << option;
        EXPECT_NE(err.find("/dev/full"), std::string::npos) << err;
        EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    }
    // A limit on file size stops a long trace part way: the run fails and
    // leaves neither the partial trace nor its temporary file.
    std::string d = new_folder("limited");
    write(d + "/trace.jsonl", "the previous run's trace\n");
    int status = std::system(("ulimit -f 8; " + std::string(PELMARIC_SIM) + " --seed 1 --frames 2000 --trace " + d +
                              "/trace.jsonl --state " + d + "/state.json 2>" + d + "/err.txt")
                                 .c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_NE(slurp(d + "/err.txt").find("File too large"), std::string::npos) << slurp(d + "/err.txt");
    EXPECT_EQ(slurp(d + "/trace.jsonl"), "the previous run's trace\n");
    EXPECT_EQ(names_in(d), (std::vector<std::string>{"err.txt", "trace.jsonl"}));
}

TEST(RunnerOutputs, AnUnwritableOutputIsFoundBeforeTheFirstFrameAndTouchesNothing)
{
    std::string d = new_folder("unwritable");
    write(d + "/trace.jsonl", "kept\n");
    write(d + "/state.json", "kept\n");
    std::string err;
    // A missing folder, a folder in place of the file, an empty name.
    const std::string bad[] = {"--state " + d + "/missing/state.json", "--screenshot " + d + "/missing/s.png",
                               "--audio-log " + d, "--state ''"};
    for (const std::string& option : bad) {
        std::string both = "--trace " + d + "/trace.jsonl " + option;
        if (option.rfind("--state", 0) != 0)
            both += " --state " + d + "/state.json";
        EXPECT_EQ(sim("--seed 1 --frames 1000000000 " + both, &err), 2) << option;
        EXPECT_FALSE(err.empty()) << option;
        EXPECT_EQ(slurp(d + "/trace.jsonl"), "kept\n") << option;
        EXPECT_EQ(slurp(d + "/state.json"), "kept\n") << option;
    }
    EXPECT_NE(err.find("empty"), std::string::npos) << err;
    EXPECT_EQ(sim("--seed 1 --frames 5 --state " + d + "/missing/state.json", &err), 2);
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
    EXPECT_EQ(names_in(d), (std::vector<std::string>{"state.json", "trace.jsonl"}));
    // Done well, every output replaces its old file.
    ASSERT_EQ(sim("--seed 1 --frames 5 --trace " + d + "/trace.jsonl --state " + d + "/state.json"), 0);
    EXPECT_NE(slurp(d + "/state.json").find("\"frames_run\": 5"), std::string::npos);
    EXPECT_EQ(names_in(d), (std::vector<std::string>{"state.json", "trace.jsonl"}));
}

TEST(RunnerInput, FoldersEmptyNamesAndNulBytesAreRefusedTinyNumbersTaken)
{
    std::string d = new_folder("input");
    std::string err;
    EXPECT_EQ(sim("--seed 1 --frames 5 --input " + d, &err), 2);
    EXPECT_NE(err.find("Is a directory"), std::string::npos) << err;
    EXPECT_EQ(sim("--seed 1 --frames 5 --input ''", &err), 2);
    EXPECT_EQ(sim("--seed 1 --frames 5 --input " + d + "/none.txt", &err), 2);
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;

    std::ofstream(d + "/nul.txt", std::ios::binary) << std::string("1 move 5 5\n5 keydown 65\0junk\n", 30);
    EXPECT_EQ(sim("--seed 1 --frames 5 --input " + d + "/nul.txt", &err), 2);
    EXPECT_NE(err.find("line 2"), std::string::npos) << err;
    EXPECT_NE(err.find("NUL"), std::string::npos) << err;

    write(d + "/tiny.txt", "1 move 1e-45 300   # the smallest float above zero\n");
    ASSERT_EQ(sim("--seed 1 --frames 1 --input " + d + "/tiny.txt --state " + d + "/s.json", &err), 0) << err;
    EXPECT_NE(slurp(d + "/s.json").find("\"mouse_x\": 0, \"mouse_y\": 300"), std::string::npos);
}

// A kept game as the window writes it, made here from the runner's own state:
// 150 frames of seed 3 with launches, ended by Esc.
std::string kept_game(const std::string& digest)
{
    return "# pelmaric replay 1\n# version " + std::string(PELMARIC_VERSION) +
           "\n# seed 3\n# size 800x600\n2 move 300 200\n9 keydown 65\n40 keydown 68\n150 keydown 27\n"
           "150 keypress 27\n# frames 150\n# digest " +
           digest + "\n";
}

TEST(RunnerVerify, MatchedMismatchedAndMalformedAndTheOutputsOfAPlainRun)
{
    std::string d = temp_dir(), err;
    // The digest is the 64-bit FNV-1a of what --state writes.
    write(d + "/v.replay", kept_game("0000000000000000"));
    ASSERT_EQ(sim("--seed 3 --frames 150 --input " + d + "/v.replay --state " + d + "/plain.json --trace " + d +
                      "/plain.jsonl",
                  &err),
              0)
        << err;
    uint64_t h = 14695981039346656037ULL;
    for (unsigned char c : slurp(d + "/plain.json"))
        h = (h ^ c) * 1099511628211ULL;
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016llx", (unsigned long long)h);

    write(d + "/v.replay", kept_game(digest));
    std::string out_file = d + "/verdict.txt";
    EXPECT_EQ(sim("--input " + d + "/v.replay --verify --state " + d + "/v.json --trace " + d + "/v.jsonl >" +
                      out_file,
                  &err),
              0)
        << err;
    EXPECT_EQ(slurp(out_file), "matched\n");
    EXPECT_EQ(slurp(d + "/v.json"), slurp(d + "/plain.json"));
    EXPECT_EQ(slurp(d + "/v.jsonl"), slurp(d + "/plain.jsonl"));

    write(d + "/w.replay", kept_game(std::string(digest).replace(15, 1, digest[15] == '0' ? "1" : "0")));
    EXPECT_EQ(sim("--input " + d + "/w.replay --verify >" + out_file, &err), 1) << err;
    EXPECT_EQ(slurp(out_file).rfind("mismatch: the replay ends at frame 150 with digest ", 0), 0u) << slurp(out_file);

    // The seed, frames and size come from the replay alone; a plain script has no header.
    EXPECT_EQ(sim("--input " + d + "/v.replay --verify --seed 3", &err), 2);
    EXPECT_NE(err.find("give none"), std::string::npos) << err;
    EXPECT_EQ(sim("--verify --state " + d + "/x.json", &err), 2);
    write(d + "/script.txt", "3 move 1 1\n");
    EXPECT_EQ(sim("--input " + d + "/script.txt --verify", &err), 2);
    EXPECT_NE(err.find("not a Pelmaric replay"), std::string::npos) << err;
}

TEST(RunnerHelp, PrintsItsUsageAndExitsZero)
{
    std::string out_file = temp_dir() + "/help.txt";
    int status = std::system((std::string(PELMARIC_SIM) + " --help >" + out_file).c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    std::string help = slurp(out_file);
    EXPECT_EQ(help.rfind("usage: pelmaric-sim --seed N --frames F", 0), 0u) << help;
    EXPECT_NE(help.find("--screenshot"), std::string::npos);
}

} // namespace
