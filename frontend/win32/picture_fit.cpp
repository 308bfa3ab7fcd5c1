#include "picture_fit.h"

namespace {

// The size of `picture` scaled to cover `frame`, rounded up so that no edge of the frame stays
// empty.
PictureSize coverSize(PictureSize frame, PictureSize picture) {
    const long long widthRatio = 1LL * frame.width * picture.height;
    const long long heightRatio = 1LL * frame.height * picture.width;
    if (widthRatio >= heightRatio) {
        const long long height = (widthRatio + picture.width - 1) / picture.width;
        return {frame.width, static_cast<int>(height)};
    }
    const long long width = (heightRatio + picture.height - 1) / picture.height;
    return {static_cast<int>(width), frame.height};
}

}  // namespace

PictureFit fitPicture(PictureSize frame, const std::vector<PictureSize>& artwork) {
    if (frame.width <= 0 || frame.height <= 0) return {0, artwork.front()};
    const PictureSize size = coverSize(frame, artwork.front());
    for (std::size_t i = 0; i < artwork.size(); ++i) {
        if (artwork[i].width >= size.width && artwork[i].height >= size.height) return {i, size};
    }
    return {artwork.size() - 1, size};
}
