// asset_sfx.h -- the three blast sounds of the game, synthesised from seeded noise.
#pragma once

#include "asset_wav.h"

// ex2.wav: an interceptor or a missile bursting in the sky. About 0.6 s of
// noise that hits at once and darkens as it dies, over a short low thump.
// Finished: faded at both ends and peaking at -3 dBFS. Same samples on
// every call.
Samples make_air_burst();

// poof.wav: a missile hitting open ground. A soft, low, 0.3 s thud with no
// bright edge, so it sits under the air bursts. Finished as above.
Samples make_ground_thud();

// exb.wav: a building coming down. A 1.6 s heavy rumble that rolls as it
// fades, with debris crackling through its second half. Finished as above.
Samples make_building_collapse();
