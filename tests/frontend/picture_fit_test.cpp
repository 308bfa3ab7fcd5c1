#include "picture_fit.h"

#include <gtest/gtest.h>

namespace {

const std::vector<PictureSize> kCarArtwork = {{259, 261}, {518, 522}};

struct FitCase {
    const char* display;
    PictureSize frame;
    std::size_t source;
    PictureSize size;
};

// Frames as the main window's picture frame measures at each scale (Tahoma on Windows, Wine's
// wider font at 100 %).
const FitCase kFitCases[] = {
    {"artwork's own size", {259, 261}, 0, {259, 261}},
    {"Windows 100 %: reduced a little, height decides", {249, 252}, 0, {251, 252}},
    {"Wine 100 %: wider frame, width decides, larger source", {290, 252}, 1, {290, 293}},
    {"Windows 150 %", {374, 378}, 1, {376, 378}},
    {"Windows 200 %: just within the large artwork", {498, 504}, 1, {501, 504}},
    {"250 %: nothing large enough, the largest enlarged", {623, 630}, 1, {626, 630}},
    {"no frame: the small artwork as it is", {0, 0}, 0, {259, 261}},
};

TEST(PictureFit, CoversTheFrameFromTheSmallestArtworkThatNeedsNoEnlarging) {
    for (const FitCase& c : kFitCases) {
        SCOPED_TRACE(c.display);
        const PictureFit fit = fitPicture(c.frame, kCarArtwork);
        EXPECT_EQ(fit.source, c.source);
        EXPECT_EQ(fit.size.width, c.size.width);
        EXPECT_EQ(fit.size.height, c.size.height);
    }
}

}  // namespace
