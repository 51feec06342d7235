// interceptors.cpp -- launching interceptors with A, S and D, and their flight.
#include "combat/interceptors.h"

#include "combat/explosions.h"
#include "combat/particles.h"
#include "combat/tables.h"
#include "platform/core/events.h"
#include "platform/platform.h"
#include "scene/backdrop.h"
#include "shell/game_loop.h"
#include "shell/handlers.h"
#include "shell/rnd.h"
#include "shell/rounding.h"

#include <cmath>

namespace {
constexpr double kSpeed = 5; // pixels per frame
} // namespace

void Form_KeyDown(int16_t key_code, int16_t /*shift*/)
{
    if (key_code != kKeyA && key_code != kKeyS && key_code != kKeyD)
        return;
    // With all 100 interceptors in the air, the key is ignored.
    Shot* s = create(shots, shot_count);
    if (!s)
        return;

    float W = plat_client_width();
    if (key_code == kKeyA)
        s->x = 10;
    else if (key_code == kKeyS)
        s->x = float(double(W) / 2);
    else
        s->x = float(double(W) - 10);
    s->y = float(ground_y(s->x));

    s->state = 1;
    s->tx = mouse_x;
    s->ty = mouse_y;

    float ex = float(double(s->tx) - s->x);
    float ey = float(double(s->ty) - s->y);
    double d = std::sqrt(double(ey) * ey + double(ex) * ex);
    if (d == 0) {
        // Aimed at its own launch point: it stands still and arrives in its
        // first update.
        s->dx = 0;
        s->dy = 0;
    } else {
        s->dy = float(ey / d * kSpeed);
        s->dx = float(ex / d * kSpeed);
    }

    s->r = 255;
    s->g = 255;
    s->b = 0;
}

void shot_pass()
{
    int16_t n = shot_count;
    for (int16_t i = 1; i <= n; ++i) {
        Shot& s = shots[i];
        s.x = s.x + s.dx;
        s.y = s.y + s.dy;

        drop_trail(s.x, s.y, 0.25, s.r, s.g, s.b, 5, 10);

        // Arrived when less than one step from the aim point. Measured as a
        // distance, so an interceptor flying straight up or along its own
        // pixel row arrives like any other instead of flying on forever.
        double ex = double(s.x) - s.tx;
        double ey = double(s.y) - s.ty;
        if (ex * ex + ey * ey < kSpeed * kSpeed) {
            s.state = -1;
            make_explosion(s.x, s.y);
        }
    }
}

void shot_compaction() { compact(shots, shot_count); }
