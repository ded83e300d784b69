// The painting techniques of this folder can be turned off, so that a Qt upgrade
// that breaks a picture is found by bisecting with and without them:
// TALLYSCOPE_PLAIN_PAINT=1 gives stock Qt widgets, their repaints coalesced by
// update() alone; a comma-separated list of names (bench/line_bench.sh --plain)
// turns off those techniques only. Read once, at the first question.
#pragma once

namespace tally {

enum class Technique { Backdrop, Frames, Cells, Chart, Slot };

bool Uses(Technique technique);

}  // namespace tally
