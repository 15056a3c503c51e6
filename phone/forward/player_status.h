#pragma once

// The web mode's status block on a terminal: a line a player, each cut to the terminal's width
// (never wrapped, so that the block can always be redrawn in place), and never taller than the
// terminal less a few rows for the lines above it; the players that do not fit are summed up in
// one line, those with a phone shown first.
#include <cstddef>
#include <string>

namespace joywire {

struct PlayerLine {
  std::string text;
  bool hasPhone;
};

// `lines[i]` is player i + 1's.
std::string FitPlayerLines(const PlayerLine* lines, std::size_t count, int columns, int rows);

}  // namespace joywire
