// How the car picture fills its frame at any display scale. Portable, so the choice can be
// tested without Windows.
#pragma once

#include <cstddef>
#include <vector>

struct PictureSize {
    int width = 0;
    int height = 0;
};

struct PictureFit {
    std::size_t source = 0;  // index into the artwork, smallest first
    PictureSize size;        // the picture's size once scaled; at least the frame's in both
};

// The picture covers the frame without distortion: scaled by the larger of the two ratios, its
// overflow cut evenly on both sides, as the centred frame already does at 100 %. The source is
// the smallest piece of artwork at least that large, so a picture is only ever reduced, which
// keeps it sharp; when none is large enough, the largest. `artwork` is the same scene at
// growing sizes and is not empty.
PictureFit fitPicture(PictureSize frame, const std::vector<PictureSize>& artwork);
