#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "picture/engine/picture_files.h"
#include "picture/ui/engine_message_boxes.h"
#include "picture/ui/picture_viewer.h"
#include "platform/folders.h"
#include "tests/picture/picture_test_support.h"
#include "tests/picture/picture_ui_test_support.h"

using uitest::Bytes;

namespace {

struct Viewer : uitest::WindowTest {
    pictavo::ui::EngineMessageBoxes engineBoxes{nullptr};
    pictavo::PictureSettings settings;
    std::string temp = env.dir().file("NEWpicture.tmp");
    Bytes jpeg = picturetest::smallJpeg(64, 48);

    void store(const Bytes& bytes, const pictavo::BitmapInfo* header = nullptr) {
        ASSERT_TRUE(pictavo::storePicture(temp, header, bytes.data(), bytes.size()));
    }
    std::string saved(const std::string& path) { return testenv::readFile(path); }
};

std::string text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST_F(Viewer, OpeningSizeFollowsTheWindowAndTheScaleCode) {
    const std::pair<int, QSize> codes[] = {{104, {330, 276}},
                                           {105, {650, 532}},
                                           {106, {970, 788}},
                                           {107, {1290, 1044}},
                                           {0, {1290, 1044}}};
    for (const auto& [code, size] : codes) {
        settings.scale = code;
        EXPECT_EQ(CPictureViewer::OpeningSize(settings), size) << code;
    }
    settings = {};
    settings.scale = pictavo::kScale50;
    settings.startx = 100, settings.endx = 299, settings.starty = 50, settings.endy = 249;
    EXPECT_EQ(CPictureViewer::OpeningSize(settings), QSize(110, 120));
    // A window the settings file made impossible still gives a window a screen can show.
    settings.startx = 900, settings.endx = 10;
    settings.endy = 2000000000;
    QSize odd = CPictureViewer::OpeningSize(settings);
    EXPECT_EQ(odd.width(), 10);
    EXPECT_LE(odd.height(), 4096);
}

TEST_F(Viewer, OpensAtItsSizeWithTheButtonsAroundTheMiddleAndToggles100And50Percent) {
    store(jpeg);
    CPictureViewer viewer(settings, temp);
    viewer.show();
    EXPECT_EQ(viewer.size(), QSize(330, 276));
    EXPECT_EQ(viewer.windowTitle(), "");
    EXPECT_EQ(viewer.okButton()->pos(), QPoint(165 - 64 - 40, 10));
    EXPECT_EQ(viewer.saveButton()->pos(), QPoint((330 - 64) / 2, 10));
    EXPECT_EQ(viewer.sizeButton()->pos(), QPoint(165 + 40, 10));
    EXPECT_EQ(viewer.sizeButton()->text(), "100 %");

    // 100 % asks for more than the screen's free area (the offscreen screen is 800 x 800): the
    // window stays on the screen and the picture keeps its size, scrolling inside it.
    viewer.sizeButton()->click();
    const QRect free = viewer.screen()->availableGeometry();
    ASSERT_LT(free.width(), 1290);
    EXPECT_EQ(viewer.WantedSize(), QSize(1290, 1044));
    EXPECT_LE(viewer.width(), free.width());
    EXPECT_LE(viewer.height(), free.height());
    EXPECT_TRUE(free.contains(viewer.frameGeometry()));
    EXPECT_EQ(viewer.sizeButton()->text(), "50 %");
    EXPECT_EQ(viewer.saveButton()->pos(), QPoint((viewer.width() - 64) / 2, 10));
    viewer.sizeButton()->click();
    EXPECT_EQ(viewer.size(), QSize(650, 532));
    EXPECT_EQ(viewer.sizeButton()->text(), "100 %");
}

// Its own test run gives it a 1280 x 1024 screen whose windows have a frame
// (tests/picture/framed_screen.json); elsewhere it has nothing to look at.
struct ViewerOnAFramedScreen : Viewer {};
TEST_F(ViewerOnAFramedScreen, At100PercentThePictureSizedWindowAndItsFrameStayOnTheScreen) {
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    if (free.size() != QSize(1280, 1024)) GTEST_SKIP() << "not the framed 1280 x 1024 screen";
    store(jpeg);
    settings.scale = pictavo::kScale100;
    CPictureViewer viewer(settings, temp);
    viewer.show();
    ASSERT_NE(viewer.frameGeometry().size(), viewer.size()) << "the windows have no frame";
    EXPECT_EQ(viewer.WantedSize(), QSize(1290, 1044));
    EXPECT_TRUE(free.contains(viewer.frameGeometry()))
        << viewer.frameGeometry().width() << " x " << viewer.frameGeometry().height();
    // The toggle, with the frame known by then, fits the same way.
    viewer.sizeButton()->click();
    viewer.sizeButton()->click();
    EXPECT_TRUE(free.contains(viewer.frameGeometry()));
}

TEST_F(Viewer, OpensCentredOverItsParent) {
    store(jpeg);
    QWidget owner;
    owner.setGeometry(200, 150, 300, 200);
    owner.show();
    CPictureViewer viewer(settings, temp, &owner);
    EXPECT_LE((viewer.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(),
              1);
}

TEST_F(Viewer, TheJpegAndTheUncompressedBmpAreBothShownStretchedOverTheWindow) {
    store(jpeg);
    {
        CPictureViewer viewer(settings, temp);
        EXPECT_EQ(viewer.picture().GetSize(), QSize(64, 48));
    }
    // A grey picture: left half black, right half white, stored as the engine stores it.
    const int w = 40, h = 20;
    Bytes rows(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) rows[y * w + x] = x < w / 2 ? 0 : 255;
    pictavo::BitmapInfo header = pictavo::BitmapInfo::grey();
    header.width = w;
    header.height = -h;
    header.sizeImage = w * h;
    store(rows, &header);
    CPictureViewer viewer(settings, temp);
    ASSERT_FALSE(viewer.picture().IsNull());
    EXPECT_EQ(viewer.picture().GetSize(), QSize(w, h));
    QImage shot = viewer.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(330, 276));
    EXPECT_EQ(qGray(shot.pixel(40, 200)), 0);
    EXPECT_EQ(qGray(shot.pixel(290, 200)), 255);
    EXPECT_EQ(qGray(shot.pixel(290, 270)), 255);  // stretched to the bottom edge
}

TEST_F(Viewer, AFileThatIsNoPictureGivesAnEmptyViewerWithoutAMessage) {
    store(uitest::Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    CPictureViewer viewer(settings, temp);
    EXPECT_TRUE(viewer.picture().IsNull());
    viewer.grab();
    EXPECT_TRUE(boxes.all().empty());
    CViewPicture missing;
    EXPECT_FALSE(missing.Load(QString::fromStdString(env.dir().file("absent"))));
}

TEST_F(Viewer, SaveCopiesByteForByteAddingJpgOnlyToANameWithoutExtension) {
    // Larger than one 16000-byte chunk, and a file of exactly one chunk.
    Bytes big(16000 * 2 + 123);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
    Bytes exact(16000, 0x5A);
    for (const Bytes& content : {jpeg, big, exact}) {
        store(content);
        CPictureViewer viewer(settings, temp);
        const std::string plain = env.dir().file("plain" + std::to_string(content.size()));
        saves.answerNext(QString::fromStdString(plain));
        viewer.saveButton()->click();
        EXPECT_EQ(saved(plain + ".jpg"), text(content));
    }
    store(jpeg);
    CPictureViewer viewer(settings, temp);
    const std::string typed = env.dir().file("picture.jpeg");
    saves.answerNext(QString::fromStdString(typed));
    viewer.saveButton()->click();
    EXPECT_EQ(saved(typed), text(jpeg));
    EXPECT_FALSE(platform::fileExists(typed + ".jpg"));
    ASSERT_EQ(saves.all().size(), 4u);
    EXPECT_EQ(saves.all()[3].filter, "JPEG files (*.jpg);;All files (*)");
    EXPECT_EQ(saves.all()[3].proposedPath, "");

    viewer.saveButton()->click();  // cancelled: nothing happens
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(Viewer, TheAddedExtensionDoesNotReplaceAnExistingFileWithoutAsking) {
    store(jpeg);
    const std::string chosen = env.dir().file("shot");
    testenv::writeFile(chosen + ".jpg", "older picture");
    CPictureViewer viewer(settings, temp);
    saves.answerNext(QString::fromStdString(chosen));
    boxes.answerNext(QMessageBox::No);
    viewer.saveButton()->click();
    ASSERT_EQ(boxes.texts(),
              (std::vector<QString>{"shot.jpg already exists.\nDo you want to replace it?"}));
    EXPECT_EQ(saved(chosen + ".jpg"), "older picture");

    saves.answerNext(QString::fromStdString(chosen));
    boxes.answerNext(QMessageBox::Yes);
    viewer.saveButton()->click();
    EXPECT_EQ(saved(chosen + ".jpg"), text(jpeg));
}

TEST_F(Viewer, SaveFailuresAreReportedAndTheViewerStaysOpen) {
    store(jpeg);
    CPictureViewer viewer(settings, temp);
    viewer.show();
    saves.answerNext(QString::fromStdString(env.dir().file("no such folder/shot")));
    viewer.saveButton()->click();
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_TRUE(boxes.all()[0].text.startsWith("Cannot open output file"));
    EXPECT_TRUE(viewer.isVisible());

    boxes.clear();
    std::remove(temp.c_str());
    saves.answerNext(QString::fromStdString(env.dir().file("shot")));
    viewer.saveButton()->click();
    EXPECT_EQ(boxes.texts(), (std::vector<QString>{"Cannot open tmp file for reading"}));
}

TEST_F(Viewer, ABmpPictureIsOfferedAndSavedAsBmp) {
    Bytes rows(8 * 4, 0x80);
    pictavo::BitmapInfo header = pictavo::BitmapInfo::grey();
    header.width = 8;
    header.height = -4;
    store(rows, &header);
    CPictureViewer viewer(settings, temp);
    const std::string chosen = env.dir().file("grey");
    saves.answerNext(QString::fromStdString(chosen));
    viewer.saveButton()->click();
    EXPECT_EQ(saves.all()[0].filter, "BMP files (*.bmp);;All files (*)");
    EXPECT_EQ(saved(chosen + ".bmp"), testenv::readFile(temp));
}
