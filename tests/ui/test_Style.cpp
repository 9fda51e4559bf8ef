#include "support/TestRoot.h"
#include "ui/Style.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QtTest>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Expected {
    QString name;
    QSize size;
};

// Every picture the windows ask for, at the size their layouts are made for.
const std::vector<Expected>& ExpectedPictures()
{
    static const std::vector<Expected> list = {
        {u"imgFLProps"_s, {32, 32}},       {u"imgFLNews"_s, {32, 32}},           {u"imgFLBrokers"_s, {32, 32}},
        {u"imgFLClients"_s, {32, 32}},     {u"imgFLConfig"_s, {32, 32}},         {u"imgFLHelp"_s, {32, 32}},
        {u"imgSync"_s, {32, 32}},          {u"imgOffline"_s, {32, 32}},          {u"imgSyncMessageAlert"_s, {48, 48}},
        {u"imgSyncMessageOk"_s, {48, 48}}, {u"imgBadge1"_s, {20, 20}},           {u"imgBadge2"_s, {28, 20}},
        {u"imgBadge3"_s, {36, 20}},        {u"imgCheckStates"_s, {39, 13}},      {u"imgTriState"_s, {39, 39}},
        {u"imgNoPhoto"_s, {320, 240}},     {u"imgNoLogo"_s, {240, 120}},         {u"imgEmptyList"_s, {96, 96}},
        {u"imgChangeLog"_s, {48, 48}},     {u"imgAppIcon"_s, {64, 64}},          {u"imgBackground"_s, {400, 300}},
        {u"imgSplash"_s, {512, 474}},      {u"imgPhotoAvailable"_s, {320, 240}}, {u"imgYouTube"_s, {155, 116}},
        {u"imgVimeo"_s, {155, 116}},       {u"imgMapBadge"_s, {110, 24}},        {u"imgMapApprox"_s, {160, 160}},
    };
    return list;
}

int OpaquePixels(const QImage& image)
{
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            count += qAlpha(argb.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

// The 13 x 13 cells of a sprite, row by row.
std::vector<QImage> Cells(const QPixmap& sprite)
{
    std::vector<QImage> cells;
    const QImage image = sprite.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y + 13 <= image.height(); y += 13)
        for (int x = 0; x + 13 <= image.width(); x += 13)
            cells.push_back(image.copy(x, y, 13, 13));
    return cells;
}

void ExpectAllDifferent(const std::vector<QImage>& cells)
{
    for (size_t i = 0; i < cells.size(); ++i)
        for (size_t j = i + 1; j < cells.size(); ++j)
            QVERIFY2(cells[i] != cells[j], qPrintable(u"cells %1 and %2 are alike"_s.arg(i).arg(j)));
}

} // namespace

class TestStyle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyPictureLoadsAtItsSize();
    void resourcesHoldExactlyTheListedPictures();
    void requestedSizeIsHonoured();
    void unknownNameGivesNothingAndALogLine();
    void spriteCellsDiffer();
    void styleSheetReachesRoles();
    void contactSheet();
};

void TestStyle::everyPictureLoadsAtItsSize()
{
    for (const auto& [name, size] : ExpectedPictures()) {
        const QPixmap picture = AppPicture(name);
        QVERIFY2(!picture.isNull(), qPrintable(name));
        QCOMPARE(picture.size(), size);
        // A picture that parses but draws nothing is as bad as a missing one.
        QVERIFY2(OpaquePixels(picture.toImage()) > 0, qPrintable(name));
        QVERIFY2(!AppIcon(name).isNull(), qPrintable(name));
    }
}

void TestStyle::resourcesHoldExactlyTheListedPictures()
{
    QStringList expected;
    for (const auto& picture : ExpectedPictures())
        expected << picture.name;
    expected.sort();
    QCOMPARE(AppPictureNames(), expected);
}

void TestStyle::requestedSizeIsHonoured()
{
    const QPixmap big = AppPicture(u"imgFLProps"_s, {64, 64});
    QCOMPARE(big.size(), QSize(64, 64));
    // Cached per size: the natural size must not come back from the cache.
    QCOMPARE(AppPicture(u"imgFLProps"_s).size(), QSize(32, 32));
    QCOMPARE(AppPicture(u"imgSplash"_s, {256, 237}).size(), QSize(256, 237));
}

void TestStyle::unknownNameGivesNothingAndALogLine()
{
    TestRoot root;
    for (const QString& name : {u"imgNoSuchPicture"_s, u""_s, u"../images/imgSync"_s}) {
        QVERIFY(AppPicture(name).isNull());
        QVERIFY(AppIcon(name).isNull());
    }
    const QStringList lines = root.LogLines();
    QCOMPARE(lines.size(), 6);
    QVERIFY2(lines.first().contains(u"$8090: "_s) && lines.first().contains(u"imgNoSuchPicture"_s),
             qPrintable(lines.first()));
}

void TestStyle::spriteCellsDiffer()
{
    const auto strip = Cells(AppPicture(u"imgCheckStates"_s));
    QCOMPARE(strip.size(), size_t(3));
    ExpectAllDifferent(strip);
    const auto boxes = Cells(AppPicture(u"imgTriState"_s));
    QCOMPARE(boxes.size(), size_t(9));
    ExpectAllDifferent(boxes);
}

void TestStyle::styleSheetReachesRoles()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    QVERIFY(app != nullptr);
    ApplyAppStyle(*app);
    QVERIFY(!app->styleSheet().isEmpty());
    QCOMPARE(QApplication::palette().color(QPalette::Highlight), Colors::ServiceBlue);
    QCOMPARE(QApplication::font().family(), u"DejaVu Sans"_s);

    // One label switched between the two message kinds, as dialogs do.
    QLabel label(u"Texto"_s);
    SetStyleRole(&label, u"message"_s);
    label.ensurePolished();
    QCOMPARE(label.palette().color(QPalette::WindowText), Colors::MessageGrey);
    QVERIFY(!label.font().bold());
    SetStyleRole(&label, u"error"_s);
    QCOMPARE(label.palette().color(QPalette::WindowText), Colors::ErrorRed);
    QVERIFY(label.font().bold());
    SetStyleRole(&label, u"offline"_s);
    QCOMPARE(label.palette().color(QPalette::WindowText), Colors::OfflineRed);

    QLabel title(u"Título"_s);
    SetStyleRole(&title, u"title"_s);
    QCOMPARE(title.palette().color(QPalette::WindowText), Colors::ServiceBlue);
    QVERIFY(title.font().pixelSize() > QApplication::font().pixelSize());
}

void TestStyle::contactSheet()
{
    // For people to look at; nothing is compared.
    const int cellWidth = 180;
    const int columns = 4;
    std::vector<QPixmap> pictures;
    int rowHeight = 0;
    for (const auto& picture : ExpectedPictures()) {
        QPixmap pixmap = AppPicture(picture.name);
        if (pixmap.width() > cellWidth - 20)
            pixmap = AppPicture(picture.name, picture.size.scaled(cellWidth - 20, 400, Qt::KeepAspectRatio));
        else if (pixmap.width() <= 40)
            pixmap = AppPicture(picture.name, picture.size * 2); // small ones twice, to see them
        rowHeight = std::max(rowHeight, pixmap.height() + 30);
        pictures.push_back(pixmap);
    }
    const int rows = int((pictures.size() + columns - 1) / columns);
    // The splash once more at its own size, to judge its lettering.
    const QPixmap splash = AppPicture(u"imgSplash"_s);
    QImage sheet(columns * cellWidth, rows * rowHeight + splash.height() + 16, QImage::Format_ARGB32);
    sheet.fill(QColor(0xE8, 0xE8, 0xEA));
    QPainter painter(&sheet);
    for (size_t i = 0; i < pictures.size(); ++i) {
        const int x = int(i % columns) * cellWidth;
        const int y = int(i / columns) * rowHeight;
        painter.fillRect(x + 4, y + 4, cellWidth - 8, rowHeight - 8, Qt::white);
        painter.drawPixmap(x + (cellWidth - pictures[i].width()) / 2, y + 8, pictures[i]);
        painter.setPen(Colors::MessageGrey);
        painter.drawText(QRect(x, y + rowHeight - 24, cellWidth, 18), Qt::AlignCenter, ExpectedPictures()[i].name);
    }
    painter.drawPixmap((sheet.width() - splash.width()) / 2, rows * rowHeight + 8, splash);
    painter.end();
    QDir().mkpath(QStringLiteral(KORVEL_SCREENSHOT_DIR));
    QVERIFY(sheet.save(QStringLiteral(KORVEL_SCREENSHOT_DIR) + u"/pictures.png"_s));
}

QTEST_MAIN(TestStyle)
#include "test_Style.moc"
