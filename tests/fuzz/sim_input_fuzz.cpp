// sim_input_fuzz.cpp -- libFuzzer target: pelmaric-sim's command line and whole input file, over any bytes.
//
// An input is the command line's words, each ended by a NUL byte, then an
// empty word, then the input file's bytes. Besides not crashing: accepted
// options lie in their ranges; a refusal says little, whatever it was given;
// and the file gives what its lines give one at a time, as a plain model
// splits them here: the events in frame order, or a refusal naming the first
// bad line (malformed, longer than the cap, or holding a NUL) by number.
#include "tools/runner/sim_args.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

// A refusal's message stays short: a bad line or option is quoted to 80 bytes.
constexpr size_t kLongestMessage = 500;

// What the model expects of the file: the events, or the refused line's number and why.
struct Expected {
    std::vector<TimedEvent> events;
    long bad_line = 0;
    const char* because = nullptr;
};

Expected model(const char* data, size_t size)
{
    Expected e;
    long number = 0;
    for (size_t at = 0; at < size;) {
        const char* newline = static_cast<const char*>(std::memchr(data + at, '\n', size - at));
        size_t end = newline ? size_t(newline - data) : size;
        std::string line(data + at, end - at);
        ++number;
        size_t nul = line.find('\0');
        std::string why;
        TimedEvent t;
        if (std::min(nul, line.size()) > kMaxInputLineBytes) {
            e.bad_line = number;
            e.because = "longer than";
        } else if (nul != std::string::npos) {
            e.bad_line = number;
            e.because = "NUL";
        } else {
            LineRead read = read_event_line(line.data(), line.size(), t, why);
            if (read == LineRead::Malformed) {
                e.bad_line = number;
                e.because = ": ";
            } else if (read == LineRead::Event) {
                e.events.push_back(t);
            }
        }
        if (e.bad_line)
            return e;
        at = end + 1;
    }
    std::stable_sort(e.events.begin(), e.events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
    return e;
}

bool same(const TimedEvent& a, const TimedEvent& b)
{
    return a.frame == b.frame && a.event.kind == b.event.kind && a.event.code == b.event.code &&
           a.event.shift == b.event.shift && std::memcmp(&a.event.x, &b.event.x, sizeof(float)) == 0 &&
           std::memcmp(&a.event.y, &b.event.y, sizeof(float)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const char* data = reinterpret_cast<const char*>(bytes);
    std::vector<std::string> words{"pelmaric-sim"};
    size_t at = 0;
    while (at < size) {
        const char* nul = static_cast<const char*>(std::memchr(data + at, '\0', size - at));
        size_t end = nul ? size_t(nul - data) : size;
        if (end == at) {
            ++at;
            break;
        }
        words.emplace_back(data + at, end - at);
        at = std::min(end + 1, size);
    }
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    try {
        Options o = parse_options(int(words.size()), argv.data());
        require(o.verify ? !o.input.empty() && !o.have_seed && !o.have_frames && !o.have_size
                         : o.have_seed && o.have_frames && o.frames >= 0 && o.frames <= 1000000000L);
        require(o.width >= 1 && o.width <= 8192 && o.height >= 1 && o.height <= 8192);
    } catch (const SimFailure& bad) {
        require(bad.status == kBadInput && !bad.message.empty() && bad.message.size() < kLongestMessage);
    }

    const char* file = data + at;
    const size_t file_size = size - at;
    const Expected expected = model(file, file_size);
    // fmemopen takes no empty buffer: an empty file is read from an empty string.
    static char nothing[1];
    FILE* in = fmemopen(file_size ? const_cast<char*>(file) : nothing, file_size ? file_size : 1, "rb");
    require(in != nullptr);
    if (file_size == 0)
        std::getc(in); // past the one byte that stands for nothing
    try {
        std::vector<TimedEvent> events = read_events(in, "fuzz");
        require(expected.bad_line == 0 && events.size() == expected.events.size());
        for (size_t i = 0; i < events.size(); ++i)
            require(same(events[i], expected.events[i]));
    } catch (const SimFailure& bad) {
        require(bad.status == kBadInput);
        const std::string start = "input line " + std::to_string(expected.bad_line) + ": ";
        require(expected.bad_line != 0 && bad.message.rfind(start, 0) == 0);
        require(bad.message.find(expected.because, start.size()) != std::string::npos);
        require(bad.message.size() < kLongestMessage);
    }
    std::fclose(in);
    return 0;
}
