// The picture of the preview for the documentation: the demo's label file
// (stage, battery and humidity of ST01 every quarter of an hour, here over
// two days with a gap and a value the logger could not read) previewed in
// the window. Runs only when VIREO_PREVIEW_SCREENSHOT names the PNG file to
// write, under a real display (Xvfb), and checks that the picture shows
// something.
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <cstdlib>
#include <set>

#include "gui/GuiTestSupport.h"
#include "gui/PreviewDialog.h"
#include "gui/SeriesChart.h"

namespace vireo::testing {
namespace {

class PreviewScreenshotTest : public GuiTest {};

TEST_F(PreviewScreenshotTest, PreviewOfTheDemoData) {
    const char* target = std::getenv("VIREO_PREVIEW_SCREENSHOT");
    if (target == nullptr || *target == '\0') GTEST_SKIP() << "VIREO_PREVIEW_SCREENSHOT names no file";

    std::string log;
    for (int i = 0; i < 192; ++i) {
        if (i >= 100 && i < 124) continue;  // six hours without values
        char line[96];
        const char* stage = i == 60 ? "n/a" : nullptr;
        char stageText[16];
        std::snprintf(stageText, sizeof stageText, "%.2f", 1.25 + 0.2 * ((i % 96) < 48 ? i % 48 : 48 - i % 48) / 48);
        std::snprintf(line, sizeof line, "06/%02d/2005,%02d:%02d:00,ST01,%s,%.1f,%d\r\n", 15 + i / 96, i % 96 / 4,
                      i % 4 * 15, stage != nullptr ? stage : stageText, 13.2 - i * 0.004, 55 + i % 9);
        log += line;
    }
    const std::string path = dir.File("labels.csv");
    WriteFile(path, log);

    gui::TfrmMain& w = StartWindow();
    w.edtLogfile->setText(QString::fromStdString(path));
    w.btnReadFileClick();
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "ST01:1"));
    w.lbxLogSensors->findItems(QStringLiteral("ST01:2"), Qt::MatchExactly).first()->setSelected(true);
    w.LogPreview1Execute();
    const auto previews = w.findChildren<gui::TfrmPreview*>();
    ASSERT_EQ(previews.size(), 1);
    gui::TfrmPreview* preview = previews.front();
    ASSERT_TRUE(ProcessUntil([preview] { return !preview->Reading(); }, 3000));
    ProcessUntil([] { return false; }, 30);  // let the dialog paint

    const QPixmap shot = preview->grab();
    ASSERT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG", 9));

    // The saved picture is not empty: it is as large as the dialog and shows
    // more than a few colours (lines, markers, text on the background).
    const QImage image(QString::fromLocal8Bit(target));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), preview->size() * preview->devicePixelRatio());
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 20u);
    // One chart each, both in two parts (the six hours without values), and the refused value.
    const auto& drawn = preview->chartView->Drawn();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].lines.size(), 2u);
    EXPECT_EQ(drawn[1].lines.size(), 2u);
    EXPECT_EQ(drawn[0].refused.size(), 1u);
}

}  // namespace
}  // namespace vireo::testing
