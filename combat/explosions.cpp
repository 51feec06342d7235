// explosions.cpp -- make_explosion, the blast zone test, zone ageing.
#include "combat/explosions.h"

#include "shell/rnd.h"
#include "shell/rounding.h"
#include "shell/sound.h"

#include <cmath>

void make_explosion(float x, float y)
{
    for (int k = 1; k <= 20; ++k) {
        Mover* p = create(particles, particle_count);
        if (!p)
            continue;
        p->x = x;
        p->y = y;
        float speed = float(double(rnd()) * 6);
        double angle = 6.283 / 20 * k + 3.1415 / 2;
        p->dx = float(std::sin(angle) * speed);
        p->dy = float(std::cos(angle) * speed);
        p->life = round32(double(rnd()) * 2.5 + 12);
        p->maxlife = p->life;
        p->r = 255;
        p->g = 255;
        p->b = 0;
        p->gravity = 0;
    }

    if (Blast* b = create(blasts, blast_count)) {
        b->x = x;
        b->y = y;
        b->half_width = 35;
        b->half_height = 35;
        b->life = 20;
    }

    sound("\\ex2.wav", 1);
}

bool in_blast_zone(const Blast& b, float px, float py)
{
    return double(b.x) - b.half_width < px && double(px) < double(b.x) + b.half_width &&
           double(b.y) - b.half_height < py && double(py) < double(b.y) + b.half_height;
}

void blast_aging()
{
    int16_t n = blast_count;
    for (int16_t i = 1; i <= n; ++i)
        blasts[i].life = blasts[i].life - 1;
}

void blast_compaction() { compact(blasts, blast_count); }
