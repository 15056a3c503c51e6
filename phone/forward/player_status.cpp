#include "phone/forward/player_status.h"

#include <algorithm>

namespace joywire {

namespace {

// Rows left for the lines above the block: the last connect line, the prompt of a shell.
constexpr int kRowsAbove = 4;

// A line as wide as the terminal at most, less its last column (a terminal that wraps at it
// would take a row more). Cut on a character, never inside UTF-8 one.
void AppendCut(std::string& block, const std::string& line, int columns) {
  const std::size_t width = static_cast<std::size_t>(std::max(columns - 1, 1));
  std::size_t cut = 0;
  for (std::size_t shown = 0; cut < line.size() && shown < width; ++shown) {
    ++cut;
    while (cut < line.size() && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
      ++cut;
    }
  }
  block.append(block.empty() ? "" : "\n").append(line, 0, cut);
}

}  // namespace

std::string FitPlayerLines(const PlayerLine* lines, std::size_t count, int columns, int rows) {
  const std::size_t room = static_cast<std::size_t>(std::max(rows - kRowsAbove, 1));
  std::string block;
  if (count <= room) {
    for (std::size_t i = 0; i < count; ++i) {
      AppendCut(block, lines[i].text, columns);
    }
    return block;
  }
  // Those with a phone first, in their order, then the waiting ones, while they fit.
  std::size_t shown = 0;
  std::string rest;
  std::size_t restWithPhone = 0;
  for (const bool withPhone : {true, false}) {
    for (std::size_t i = 0; i < count; ++i) {
      if (lines[i].hasPhone != withPhone) {
        continue;
      }
      if (shown + 1 < room) {
        AppendCut(block, lines[i].text, columns);
        ++shown;
      } else if (withPhone) {
        rest.append(restWithPhone++ == 0 ? " " : ", ").append(std::to_string(i + 1));
      }
    }
  }
  const std::size_t hidden = count - shown;
  std::string summary = "+" + std::to_string(hidden) + " more players: ";
  summary += restWithPhone == 0
                 ? std::string("all waiting for a phone")
                 : std::to_string(restWithPhone) + " with a phone (" + rest.substr(1) + "), " +
                       std::to_string(hidden - restWithPhone) + " waiting";
  AppendCut(block, summary, columns);
  return block;
}

}  // namespace joywire
