#include "phone/pairing/terminal_qr.h"

#include <qrcodegen/qrcodegen.hpp>

#include <exception>

namespace joywire {

namespace {

constexpr int kQuietZone = 3;                // modules of light around the code
constexpr char kColours[] = "\x1b[30;107m";  // black on bright white
constexpr char kReset[] = "\x1b[0m";
constexpr const char* kHalfBlocks[2][2] = {
    // [top dark][bottom dark]
    {" ", "\u2584"},       // lower half block
    {"\u2580", "\u2588"},  // upper half block, full block
};

}  // namespace

std::string QrCodeLines(const char* text) {
  try {
    const qrcodegen::QrCode code = qrcodegen::QrCode::encodeText(text, qrcodegen::QrCode::Ecc::LOW);
    const int size = code.getSize();
    const auto dark = [&](int x, int y) {
      return x >= 0 && y >= 0 && x < size && y < size && code.getModule(x, y);
    };
    std::string lines;
    for (int y = -kQuietZone; y < size + kQuietZone; y += 2) {
      lines += kColours;
      for (int x = -kQuietZone; x < size + kQuietZone; ++x) {
        lines += kHalfBlocks[dark(x, y) ? 1 : 0][dark(x, y + 1) ? 1 : 0];
      }
      lines += kReset;
      lines += '\n';
    }
    return lines;
  } catch (const std::exception&) {
    return {};  // too long for any QR code
  }
}

}  // namespace joywire
