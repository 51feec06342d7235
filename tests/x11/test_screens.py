"""test_screens.py -- the game on X screens of unusual depth: deep colour (30 bits) and 8 bits.

Usage: /usr/bin/python3 test_screens.py CASE PELMARIC_BINARY
SDL has no window surface for these screens; the game must show its picture
all the same, in the right colours as far as the screen can hold them.
"""

import sys

sys.dont_write_bytecode = True

from lib.xsession import (GROUND, HEIGHT, WIDTH, Shot, check, game_session, move_pointer,  # noqa: E402
                          move_pointer_to_screen, press_key, wait_for_exit, wait_for_shot)
from lib.harness import main  # noqa: E402
from lib.runner import sky_colour  # noqa: E402

SKY_ROWS = range(0, 471)
GROUND_ROWS = range(560, 600)


def ends_on_escape(s):
    press_key(s, "Escape")
    status = wait_for_exit(s, 15.0)
    check(status == 0, f"Esc ended the game with status {status}: " + s.stderr_text())


def near(a, b):
    """Equal but for ImageMagick's rounding of 10-bit channels down to 8."""
    return all(abs(x - y) <= 1 for x, y in zip(a, b))


def case_deep_colour(binary):
    """On a 30-bit screen every sky row and the ground show the game's colours."""
    with game_session(binary, depth=30) as s:
        move_pointer(s, 400, 590)
        found = {}

        def complete(shot):
            ground = sum(1 for y in GROUND_ROWS for px in shot.row(y) if near(px, GROUND))
            skies = [p for p in range(5) if all(near(shot.dominant(y), sky_colour(p, y)) for y in SKY_ROWS)]
            found["why"] = f"{ground} ground pixels, skies matching: {skies}"
            return skies and ground >= 0.8 * WIDTH * len(GROUND_ROWS)

        _, ok = wait_for_shot(s, complete)
        check(ok, "sky or ground not as on a 24-bit screen: " + found.get("why", ""))
        ends_on_escape(s)


def case_deep_colour_scaled(binary):
    """On a 30-bit 2560 x 1440 screen the window opens at 2x and shows every game pixel as a
    2 x 2 block of its colour: each sky row and the ground."""
    with game_session(binary, depth=30, screen="2560x1440") as s:
        check((s.width, s.height) == (2 * WIDTH, 2 * HEIGHT), f"the window opened at {s.width}x{s.height}")
        move_pointer_to_screen(s, s.x + 2 * 400, s.y + 2 * 590)
        found = {}

        def complete(big):
            # Both rows of each block alike, and each game pixel's block of one colour.
            unlike = sum(1 for y in range(0, HEIGHT, 25) if big.row(2 * y) != big.row(2 * y + 1))
            rows = [big.row(2 * y) for y in range(HEIGHT)]
            split = sum(1 for y in range(0, HEIGHT, 25) for x in range(WIDTH) if rows[y][2 * x] != rows[y][2 * x + 1])
            rgb = bytes(c for row in rows for px in row[0::2] for c in px)
            shot = Shot(WIDTH, HEIGHT, rgb)
            ground = sum(1 for y in GROUND_ROWS for px in shot.row(y) if near(px, GROUND))
            skies = [p for p in range(5) if all(near(shot.dominant(y), sky_colour(p, y)) for y in SKY_ROWS)]
            found["why"] = (f"{ground} ground pixels, skies matching: {skies}, {unlike} row pairs unlike, "
                            f"{split} split blocks")
            return skies and ground >= 0.8 * WIDTH * len(GROUND_ROWS) and unlike == 0 and split == 0

        _, ok = wait_for_shot(s, complete, 40.0)
        check(ok, "the 2x picture is not the game's: " + found.get("why", ""))
        ends_on_escape(s)


def window_colours(s):
    """The client area as RGB triplets, each pixel looked up in the window's own colour map."""
    from Xlib import X, display
    d = display.Display(s.display)
    try:
        window = d.create_resource_object("window", int(s.window))
        colormap = d.create_resource_object("colormap", window.get_attributes().colormap)
        image = window.get_image(0, 0, WIDTH, HEIGHT, X.ZPixmap, 0xFFFFFFFF)
        data = image.data if isinstance(image.data, bytes) else bytes(image.data)
        stride = len(data) // HEIGHT
        table = [(c.red >> 8, c.green >> 8, c.blue >> 8) for c in colormap.query_colors(list(range(256)))]
    finally:
        d.close()
    return [[table[data[y * stride + x]] for x in range(WIDTH)] for y in range(HEIGHT)]


def case_eight_bit(binary):
    """On an 8-bit screen the ground shows as dark green and the sky above it is dark."""
    with game_session(binary, depth=8) as s:
        move_pointer(s, 400, 100)
        found = {}

        def looks_right(rows):
            green = sum(1 for y in GROUND_ROWS for (r, g, b) in rows[y] if r < 40 and b < 40 and 20 <= g <= 60)
            # Every sky is dark: no channel above 127 anywhere in the sky.
            bright = sum(1 for y in range(0, 300, 10) for px in rows[y] if max(px) > 140)
            found["why"] = f"{green} dark green ground pixels, {bright} bright sky pixels"
            return green >= 0.8 * WIDTH * len(GROUND_ROWS) and bright < 20

        _, ok = wait_for_shot(s, looks_right, 40.0, look=window_colours)
        check(ok, "the picture is not as expected: " + found.get("why", ""))
        ends_on_escape(s)


CASES = {
    "deep_colour": case_deep_colour,
    "eight_bit": case_eight_bit,
    "deep_colour_scaled": case_deep_colour_scaled,
}


if __name__ == "__main__":
    sys.exit(main(CASES, "PELMARIC_BINARY"))
