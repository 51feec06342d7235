// events_test.cpp -- the event lines of scripts, the README's own example among them, and the queue.
#include "platform/core/event_text.h"
#include "shell/handlers.h"
#include "test_support.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

LineRead read(const std::string& line, TimedEvent& t, std::string& why)
{
    return read_event_line(line.data(), line.size(), t, why);
}

bool same(const WindowEvent& a, const WindowEvent& b)
{
    return a.kind == b.kind && a.code == b.code && a.shift == b.shift && std::memcmp(&a.x, &b.x, sizeof a.x) == 0 &&
           std::memcmp(&a.y, &b.y, sizeof a.y) == 0;
}

// The example lines under the README's description of --input.
std::vector<std::string> readme_example()
{
    std::ifstream in(std::string(PELMARIC_SOURCE_DIR) + "/README.md");
    std::vector<std::string> lines;
    bool in_section = false;
    for (std::string line; std::getline(in, line);) {
        if (line.find("`--input FILE`") != std::string::npos)
            in_section = true;
        else if (in_section && line.rfind("      ", 0) == 0 && line.find_first_not_of(' ') != std::string::npos)
            lines.push_back(line.substr(6));
        else if (in_section && !lines.empty() && !line.empty())
            break;
    }
    return lines;
}

TEST(EventLines, TheReadmeExampleReadsWithItsComments)
{
    std::vector<std::string> lines = readme_example();
    ASSERT_EQ(lines.size(), 5u);
    const WindowEvent expected[] = {mouse_move(400, 250), key_down(kKeyA), key_press(kKeyEsc), mouse_down(10, 10),
                                    music_done()};
    const long frames[] = {12, 13, 13, 14, 20};
    for (size_t i = 0; i < lines.size(); ++i) {
        TimedEvent t{};
        std::string why;
        ASSERT_EQ(read(lines[i], t, why), LineRead::Event) << lines[i] << ": " << why;
        EXPECT_EQ(t.frame, frames[i]);
        EXPECT_TRUE(same(t.event, expected[i])) << lines[i];
    }
}

TEST(EventLines, CommentsBlanksAndNumbers)
{
    TimedEvent t{};
    std::string why;
    for (const char* nothing : {"", "   \t", "# a comment", "   # indented", "\r"})
        EXPECT_EQ(read(nothing, t, why), LineRead::Nothing) << nothing;
    ASSERT_EQ(read("7 keydown 68#no space before it\r", t, why), LineRead::Event);
    EXPECT_TRUE(same(t.event, key_down(kKeyD)));
    // Any decimal that fits a float, the tiniest subnormal included.
    ASSERT_EQ(read("3 move 1e-45 -0.000001e2", t, why), LineRead::Event) << why;
    EXPECT_EQ(t.event.x, std::nextafter(0.0f, 1.0f));
    EXPECT_EQ(t.event.y, -0.0001f);
    ASSERT_EQ(read("+9 move 3.4e38 .5", t, why), LineRead::Event) << why;
    EXPECT_EQ(t.frame, 9);
}

TEST(EventLines, MalformedLinesSayWhy)
{
    TimedEvent t{};
    std::string why;
    const char* bad[] = {"2 jump 1 2", "0 keydown 65", "x move 1 2", "3 move 1", "3 move 1 2 3", "3 keydown A",
                         "3 move 1.5e x", "4 music-done now", "5", "3 move inf 1", "3 move nan 1", "3 move 0x10 1",
                         "3 move 1e39 1", "3 keydown 32768", "1000000001 keydown 65", "3 keydown 6 5"};
    for (const char* line : bad) {
        why.clear();
        EXPECT_EQ(read(line, t, why), LineRead::Malformed) << line;
        EXPECT_FALSE(why.empty()) << line;
    }
    // A NUL byte anywhere, even where the rest would read well.
    const std::string nul("5 keydown 65\0junk", 17);
    EXPECT_EQ(read(nul, t, why), LineRead::Malformed);
    EXPECT_NE(why.find("NUL"), std::string::npos);
}

TEST(EventLines, WrittenLinesReadBackExactly)
{
    const WindowEvent events[] = {key_down(kKeyS), key_press(-32768), mouse_move(0.1f, 599.99994f),
                                  mouse_down(-3.5f, 1e-45f), music_done(), mouse_move(3.4028235e38f, 1.17549435e-38f)};
    for (const WindowEvent& e : events) {
        std::string line = write_event_line(42, e);
        TimedEvent t{};
        std::string why;
        ASSERT_EQ(read(line, t, why), LineRead::Event) << line << ": " << why;
        EXPECT_EQ(t.frame, 42);
        EXPECT_TRUE(same(t.event, e)) << line;
    }
}

TEST(EventQueue, HandsEventsOverInOrderOnlyWhenTheGameProcessesThem)
{
    new_game();
    post_event(mouse_move(100, 120));
    post_event(mouse_move(130.5f, 140));
    EXPECT_EQ(pending_events(), 2);
    EXPECT_EQ(mouse_x, 0); // nothing is handled on posting
    plat_process_events();
    EXPECT_EQ(pending_events(), 2); // nor by the platform: the game takes them
    EXPECT_EQ(mouse_x, 0);
    dispatch_events();
    EXPECT_EQ(pending_events(), 0);
    EXPECT_EQ(mouse_x, 130);
    EXPECT_EQ(mouse_y, 140);
    // Thousands in one frame (a script may queue them) all arrive.
    for (int i = 0; i < 10000; ++i)
        post_event(mouse_move(float(i % 700), 10));
    dispatch_events();
    EXPECT_EQ(mouse_x, 9999 % 700);
    forget_events();
}

} // namespace
