// The simulated scanner's JPEG pictures are real ones: a standard decoder reads them back.
#include <gtest/gtest.h>

#include <QImage>

#include "sim/jpeg_encoder.h"
#include "sim/scanner_device.h"

namespace {

QImage decode(const std::vector<std::uint8_t>& jpeg) {
    QImage image;
    image.loadFromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPG");
    return image;
}

int worstDifference(const QImage& image, const std::vector<std::uint8_t>& grey, int width) {
    int worst = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            worst = std::max(worst,
                             std::abs(qGray(image.pixel(x, y)) - grey[std::size_t(y * width + x)]));
    return worst;
}

}  // namespace

TEST(JpegDecode, EncodedPicturesDecodeToTheirPixels) {
    for (auto [w, h] : {std::pair{64, 48}, std::pair{37, 21}, std::pair{8, 8}, std::pair{1, 1}}) {
        auto grey = sim::generateGreyPicture(w, h);
        QImage image = decode(sim::encodeGreyJpeg(grey.data(), w, h, 95));
        ASSERT_FALSE(image.isNull()) << w << "x" << h;
        EXPECT_EQ(image.width(), w);
        EXPECT_EQ(image.height(), h);
        // At quality 95 every pixel comes back within a few grey levels.
        EXPECT_LT(worstDifference(image, grey, w), 16) << w << "x" << h;
    }
    auto grey = sim::generateGreyPicture(64, 48);
    auto low = sim::encodeGreyJpeg(grey.data(), 64, 48, 10);
    auto high = sim::encodeGreyJpeg(grey.data(), 64, 48, 95);
    EXPECT_LT(low.size(), high.size());
    EXPECT_FALSE(decode(low).isNull());
}

TEST(JpegDecode, PaddedPicturesStillDecode) {
    auto grey = sim::generateGreyPicture(32, 32);
    QImage image = decode(sim::padJpeg(sim::encodeGreyJpeg(grey.data(), 32, 32, 65), 102400));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(32, 32));
}
