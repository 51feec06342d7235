// replay_test.cpp -- a game kept as it is played, read back, and watched again on the memory platform.
#include "platform/core/recording.h"
#include "platform/core/replay_file.h"
#include "shell/replay.h"
#include "shell/state_text.h"
#include "test_support.h"

#include <cstring>
#include <string>

namespace {

// Plays a kept game of `seed`: a sweep of the mouse, launches from every
// point, the music's notification and a mouse button, then Esc at `esc`.
// Returns the kept replay text.
std::string play_kept_game(uint32_t seed, long esc)
{
    mem_reset();
    start_up(seed);
    keep_game(seed);
    for (long frame = 1; frame <= esc; ++frame) {
        post_event(mouse_move(float(frame % 800) + 0.5f, 250.25f));
        if (frame % 7 == 0)
            post_key(frame % 2 ? kKeyA : kKeyD);
        if (frame == 40) {
            post_event(music_done());
            post_event(mouse_down(10, 10, kButtonRight));
        }
        if (frame == esc)
            post_key(kKeyEsc);
        try {
            run_frame();
        } catch (const ProgramEnded&) {
            EXPECT_EQ(frame, esc);
        }
    }
    return mem_kept_game();
}

// Watches `replay` on the memory platform; the verdict is mem_replay_verdict().
void watch(const Replay& replay)
{
    mem_reset();
    try {
        Form_Replay(replay);
    } catch (const ProgramEnded&) {
    }
}

Replay read_back(const std::string& text)
{
    Replay r;
    std::string why;
    EXPECT_TRUE(read_replay(text.data(), text.size(), r, why)) << why;
    return r;
}

} // namespace

TEST(KeptGame, RecordsTheHeaderEveryEventAndTheFinalStatesDigest)
{
    const std::string text = play_kept_game(77, 300);
    ASSERT_EQ(text.rfind("# pelmaric replay 1\n# version " + std::string(kProgramVersion) +
                             "\n# seed 77\n# size 800x600\n1 move 1.5 250.25\n",
                         0),
              0u)
        << text.substr(0, 200);
    EXPECT_NE(text.find("\n7 keydown 65\n"), std::string::npos);
    EXPECT_NE(text.find("\n40 music-done\n40 mousedown 10 10\n"), std::string::npos);
    EXPECT_NE(text.find("\n300 keydown 27\n300 keypress 27\n# frames 300\n# digest "), std::string::npos);

    // The digest is that of the state the runner writes after the game.
    const Replay r = read_back(text);
    EXPECT_EQ(r.frames, 300);
    EXPECT_EQ(r.digest, replay_digest(state_text(300, true, 1)));
    EXPECT_EQ(r.events.size(), size_t(300 + 300 / 7 + 2 + 2));
}

TEST(KeptGame, WatchedAgainItMatchesAndAChangedEventDoesNot)
{
    Replay r = read_back(play_kept_game(5, 400));
    watch(r);
    EXPECT_EQ(mem_replay_verdict(), "matched");
    EXPECT_TRUE(mem_replay_matched());
    EXPECT_TRUE(mem_kept_game().empty()); // a watched game is not kept again

    // The first launch from the left made from the centre instead.
    for (TimedEvent& t : r.events)
        if (t.event.kind == EventKind::KeyDown) {
            t.event.code = kKeyS;
            break;
        }
    watch(r);
    EXPECT_FALSE(mem_replay_matched());
    EXPECT_EQ(mem_replay_verdict().rfind("mismatch: the recording ends at frame 400", 0), 0u) << mem_replay_verdict();
}

TEST(KeptGame, ARecordingWithNoEscEndsAtItsLastFrame)
{
    // As the runner leaves a game after --frames: not ended, pointer hidden.
    mem_reset();
    start_up(9);
    for (int frame = 1; frame <= 120; ++frame) {
        if (frame == 30)
            post_key(kKeyS);
        run_frame();
    }
    Replay r;
    r.head.seed = 9;
    r.frames = 120;
    r.events.push_back(TimedEvent{30, key_down(kKeyS)});
    r.digest = state_digest(120, false, -1);
    watch(r);
    EXPECT_EQ(mem_replay_verdict(), "matched");
}

TEST(KeptGame, WhileWatchingThePlayersInputIsDroppedAndEscStops)
{
    Replay r = read_back(play_kept_game(3, 200));
    mem_reset();
    watching_start();
    post_event(mouse_move(1, 1));
    post_key(kKeyA);
    post_event(music_done());
    EXPECT_EQ(pending_events(), 0);
    EXPECT_FALSE(watching_stopped());
    recording_post(key_down(kKeyS));
    EXPECT_EQ(pending_events(), 1);
    post_key(kKeyEsc);
    EXPECT_TRUE(watching_stopped());
    EXPECT_EQ(pending_events(), 1);
    recording_reset();
    forget_events();

    // Esc part way: the watching ends with no verdict.
    mem_reset();
    bool ended = false;
    watching_start();
    start_up(r.head.seed);
    for (int frame = 1; frame <= 50 && !ended; ++frame) {
        if (frame == 20)
            post_key(kKeyEsc);
        run_frame();
        ended = watching_stopped();
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(mem_replay_verdict(), "");
}

TEST(ReplayFile, RefusesWhatItCannotPlayRightWithAReason)
{
    const std::string good = play_kept_game(11, 90);
    Replay r;
    std::string why;
    ASSERT_TRUE(read_replay(good.data(), good.size(), r, why)) << why;

    auto refused = [](const std::string& text, const std::string& reason) {
        Replay out;
        std::string why;
        EXPECT_FALSE(read_replay(text.data(), text.size(), out, why)) << text.substr(0, 120);
        EXPECT_NE(why.find(reason), std::string::npos) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos);
    };
    const size_t end = good.find("# frames");
    // Truncated anywhere: within the events, in the header, empty.
    refused(good.substr(0, end), "truncated");
    refused(good.substr(0, good.size() / 2), "truncated");
    refused(good.substr(0, 30), "truncated");
    refused("", "empty");
    // Frames out of order, an event past the end, after the end, a bad line.
    std::string swapped = good;
    swapped.insert(good.find("\n50 "), "\n60 move 1 1");
    refused(swapped, "out of order");
    refused(good.substr(0, end) + "91 keydown 65\n" + good.substr(end), "after the last frame");
    refused(good + "92 keydown 65\n", "after the digest");
    refused(good.substr(0, end) + "12 jump 1\n" + good.substr(end), "unknown event kind");
    refused(good.substr(0, end) + std::string(300, ' ') + "\n" + good.substr(end), "longer than 256 bytes");
    // Another version or format, a header out of place, not a replay at all.
    std::string foreign = good;
    foreign.replace(foreign.find(kProgramVersion), std::string(kProgramVersion).size(), "0.9.1");
    refused(foreign, "recorded by Pelmaric 0.9.1; this is Pelmaric");
    refused("# pelmaric replay 2\n" + good.substr(good.find('\n') + 1), "format 2");
    std::string no_seed = good;
    no_seed.replace(no_seed.find("# seed"), 6, "# sead");
    refused(no_seed, "line 3: expected \"# seed");
    refused("12 move 1 1\n", "not a Pelmaric replay");
    // Too large, and too many lines, however short.
    refused(std::string(kReplayMaxBytes + 1, '\n'), "larger than 64 MiB");
    refused(good.substr(0, end) + std::string(size_t(kReplayMaxLines), '\n'), "more than 4000000 lines");
}

TEST(ReplayFile, HeaderAndEndLinesReadBackAsWritten)
{
    ReplayHead head;
    head.seed = 4294967295u;
    head.width = 8192;
    head.height = 1;
    const std::string text = replay_head_text(head) + replay_end_text(1000000000L, 0xfedcba9876543210ULL);
    Replay r;
    std::string why;
    ASSERT_TRUE(read_replay(text.data(), text.size(), r, why)) << why;
    EXPECT_EQ(r.head.seed, 4294967295u);
    EXPECT_EQ(r.head.width, 8192);
    EXPECT_EQ(r.head.height, 1);
    EXPECT_EQ(r.frames, 1000000000L);
    EXPECT_EQ(r.digest, 0xfedcba9876543210ULL);

    ReplayLine line;
    for (const char* bad : {"# seed 4294967296", "# size 8193x600", "# size 0x600", "# frames 1000000001",
                            "# digest FEDCBA9876543210", "# digest 123", "# seed -1", "# version a\x01", "# colour red"})
        EXPECT_FALSE(read_replay_line(bad, std::strlen(bad), line)) << bad;
}
