#include "testpicture.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace KelCPP {
namespace Sim {

namespace {

constexpr int GlyphWidth = 5, GlyphHeight = 7;
// Rows of 5 pixels, the leftmost in bit 4.
constexpr std::uint8_t Digits[10][GlyphHeight] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};
constexpr std::uint8_t BarDark = 64, BarLight = 176;
constexpr int BarShift = 5; // bars 32 pixels wide
constexpr int BarStepPerFrame = 8;

} // namespace

void DrawTestPicture(Frame& frame)
{
    const std::size_t w = frame.width, h = frame.height;
    frame.pixelFormat = KelPixelFormatMono8;
    frame.data.resize(w * h);
    if (w == 0 || h == 0)
        return;
    // Unsigned arithmetic wraps harmlessly for huge ids: the bars only need
    // to move from one frame to the next.
    const std::size_t shift = static_cast<std::size_t>(frame.id) * BarStepPerFrame;
    for (std::size_t y = 0; y < h; ++y) {
        std::uint8_t* row = frame.data.data() + y * w;
        for (std::size_t x = 0; x < w; ++x)
            row[x] = ((x + y + shift) >> BarShift) & 1 ? BarLight : BarDark;
    }

    // The id, a seventh of the height tall as long as the width holds it,
    // on black with a cell of margin around each digit.
    const std::string text = std::to_string(frame.id);
    const std::size_t cells = 1 + text.size() * (GlyphWidth + 1);
    const std::size_t scale = std::max<std::size_t>(1, std::min(h / (7 * GlyphHeight), w / cells));
    const std::size_t boxW = std::min(w, cells * scale), boxH = std::min(h, (GlyphHeight + 2) * scale);
    for (std::size_t y = 0; y < boxH; ++y)
        std::memset(frame.data.data() + y * w, 0, boxW);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t* glyph = Digits[text[i] - '0'];
        const std::size_t left = (1 + i * (GlyphWidth + 1)) * scale;
        for (int gy = 0; gy < GlyphHeight; ++gy) {
            for (int gx = 0; gx < GlyphWidth; ++gx) {
                if (!(glyph[gy] & (0x10 >> gx)))
                    continue;
                for (std::size_t y = (1 + gy) * scale; y < (2 + gy) * scale && y < h; ++y) {
                    const std::size_t x0 = left + gx * scale;
                    if (x0 < w)
                        std::memset(frame.data.data() + y * w + x0, 255, std::min(scale, w - x0));
                }
            }
        }
    }
}

} // namespace Sim
} // namespace KelCPP
