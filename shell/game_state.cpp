// game_state.cpp -- resetting every module, and a byte snapshot of the whole game.
#include "shell/game_state.h"

#include <cstring>

namespace {

// Appends each global's bytes, and each table's count and slots.
struct Saver {
    std::vector<unsigned char>& out;

    void bytes(const void* p, size_t n)
    {
        const auto* b = static_cast<const unsigned char*>(p);
        out.insert(out.end(), b, b + n);
    }
    template <typename T> void value(const char*, const T& global) { bytes(&global, sizeof global); }
    template <typename Record, size_t Slots> void table(const char*, const Record (&slots)[Slots], const int16_t& count)
    {
        bytes(&count, sizeof count);
        bytes(slots, sizeof slots);
    }
};

// Reads them back in the same order.
struct Restorer {
    const unsigned char* at;

    void bytes(void* p, size_t n)
    {
        std::memcpy(p, at, n);
        at += n;
    }
    template <typename T> void value(const char*, T& global) { bytes(&global, sizeof global); }
    template <typename Record, size_t Slots> void table(const char*, Record (&slots)[Slots], int16_t& count)
    {
        bytes(&count, sizeof count);
        bytes(slots, sizeof slots);
    }
};

} // namespace

void reset_game()
{
    game_loop_reset();
    missiles_reset();
    backdrop_reset();
    skyline_reset();
    tables_reset();
}

void save_game(GameSnapshot& s)
{
    s.bytes.clear();
    Saver saver{s.bytes};
    visit_game(saver);
}

void restore_game(const GameSnapshot& s)
{
    Restorer restorer{s.bytes.data()};
    visit_game(restorer);
    index_buildings(); // the buildings changed behind their index's back
}
