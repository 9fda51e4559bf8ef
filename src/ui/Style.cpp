#include "ui/Style.h"

#include "core/Bugs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleFactory>
#include <QSvgRenderer>
#include <QWidget>

using namespace Qt::StringLiterals;

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void InitResources()
{
    // The pictures live in a static library: without this reference the linker would drop
    // the object that registers them.
    static const bool done = [] {
        Q_INIT_RESOURCE(korvel);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

const auto kRoleProperty = "korvelRole";
const QString kFolder = u":/images/"_s;
const QString kLogCode = u"$8090"_s;

QString Css(const QColor& colour)
{
    return colour.name(QColor::HexRgb);
}

// The file behind a picture name; SVG first, PNG for pictures that cannot be drawn as shapes.
QString PictureFile(const QString& name)
{
    InitResources();
    if (name.isEmpty() || name.contains(u'/'))
        return {};
    for (const auto& suffix : {u".svg"_s, u".png"_s}) {
        const QString path = kFolder + name + suffix;
        if (QFile::exists(path))
            return path;
    }
    return {};
}

QPixmap RenderPicture(const QString& path, const QSize& size)
{
    if (path.endsWith(u".svg"_s)) {
        QSvgRenderer renderer(path);
        if (!renderer.isValid())
            return {};
        const QSize target = size.isValid() && !size.isEmpty() ? size : renderer.defaultSize();
        QImage image(target, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        return QPixmap::fromImage(image);
    }
    QPixmap pixmap(path);
    if (!pixmap.isNull() && size.isValid() && !size.isEmpty() && pixmap.size() != size)
        pixmap = pixmap.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return pixmap;
}

} // namespace

QString AppStyleSheet()
{
    const QString blue = Css(Colors::ServiceBlue);
    const QString red = Css(Colors::AccentRed);
    const QString grey = Css(Colors::MessageGrey);
    const QString error = Css(Colors::ErrorRed);
    const QString offline = Css(Colors::OfflineRed);
    // Sizes are pixels so that windows laid out to the pixel keep their text inside.
    QString sheet = uR"(
QMainWindow, QDialog { background: #FFFFFF; }
QLabel[korvelRole="title"] { color: @blue; font-size: 18px; font-weight: bold; }
QLabel[korvelRole="subtitle"] { color: @grey; font-size: 13px; }
QLabel[korvelRole="message"] { color: @grey; font-size: 12px; font-weight: normal; }
QLabel[korvelRole="error"] { color: @error; font-size: 12px; font-weight: bold; }
QLabel[korvelRole="panelTitle"] { color: @blue; font-size: 13px; font-weight: bold; }
QLabel[korvelRole="badge"] { color: #FFFFFF; font-size: 11px; font-weight: bold; }
QLabel[korvelRole="firstLevelTitle"] { color: #000000; font-size: 13px; font-weight: bold; }
QLabel[korvelRole="firstLevelCounter"] { color: #000000; font-size: 11px; }
QLabel[korvelRole="offline"] { color: @offline; font-size: 11px; font-weight: bold; }
QFrame[korvelRole="panel"] { background: #F7F7F8; border: 1px solid #DCDCDF; border-radius: 0px; }

QPushButton { font-size: 12px; min-height: 22px; padding: 2px 12px; border: 1px solid #B5B4B9;
              border-radius: 3px; background: #FAFAFA; }
QPushButton:hover { border-color: @blue; background: #E5EEF4; }
QPushButton:pressed { background: #D0DFEA; }
QPushButton:default { border: 1px solid @blue; }
QPushButton:disabled { color: #A6A5AA; border-color: #DCDCDF; background: #F4F4F5; }
QPushButton[korvelRole="firstLevel"] { font-size: 13px; font-weight: bold; min-height: 56px; padding: 4px 8px;
              border: none; border-bottom: 3px solid transparent; border-radius: 0px; background: transparent; }
QPushButton[korvelRole="firstLevel"]:hover { background: #EEF3F7; }
QPushButton[korvelRole="firstLevel"]:checked { background: #FFFFFF; border-bottom: 3px solid @red; }
QPushButton[korvelRole="firstLevel"]:disabled { background: transparent; }

QLineEdit, QComboBox, QDateEdit, QPlainTextEdit, QTextEdit { font-size: 12px; border: 1px solid #C4C3C7;
              border-radius: 2px; background: #FFFFFF; selection-background-color: @blue; }
QLineEdit:focus, QComboBox:focus, QDateEdit:focus, QPlainTextEdit:focus, QTextEdit:focus { border-color: @blue; }
QLineEdit:disabled, QComboBox:disabled, QDateEdit:disabled { background: #F4F4F5; color: #A6A5AA; }
QLineEdit[readOnly="true"] { background: #F7F7F8; }

QListView, QTreeView, QTableView, QListWidget { font-size: 12px; border: 1px solid #DCDCDF;
              alternate-background-color: #F4F7FA; selection-background-color: @blue; selection-color: #FFFFFF; }
QCalendarWidget { font-size: 12px; }
QCalendarWidget QTableView { border: none; }
QHeaderView::section { font-size: 12px; font-weight: bold; color: #FFFFFF; background: @blue;
              border: none; border-right: 1px solid #2F7AAE; padding: 4px 6px; }
QTabBar::tab { font-size: 12px; padding: 5px 14px; border: 1px solid #DCDCDF; border-bottom: none; background: #F4F4F5; }
QTabBar::tab:selected { background: #FFFFFF; color: @blue; font-weight: bold; border-top: 2px solid @red; }
QProgressBar { border: 1px solid #C4C3C7; border-radius: 2px; background: #FFFFFF; text-align: center; font-size: 11px; }
QProgressBar::chunk { background: @blue; }
QCheckBox, QRadioButton { font-size: 12px; }
QToolTip { color: #FFFFFF; background: @grey; border: none; padding: 3px; }
)"_s;
    sheet.replace(u"@blue"_s, blue)
        .replace(u"@red"_s, red)
        .replace(u"@grey"_s, grey)
        .replace(u"@error"_s, error)
        .replace(u"@offline"_s, offline);
    return sheet;
}

void ApplyAppStyle(QApplication& app)
{
    InitResources();
    if (QStyle* fusion = QStyleFactory::create(u"Fusion"_s))
        QApplication::setStyle(fusion);
    // The application font rather than a style-sheet font: code that sets a widget's font
    // (the property description at size 13) still wins over it.
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(12);
    QApplication::setFont(font);
    QPalette palette = QApplication::style()->standardPalette();
    palette.setColor(QPalette::Highlight, Colors::ServiceBlue);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, Colors::ServiceBlue);
    QApplication::setPalette(palette);
    app.setStyleSheet(AppStyleSheet());
    const QIcon icon = AppIcon(u"imgAppIcon"_s);
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
}

void SetStyleRole(QWidget* widget, const QString& role)
{
    if (widget == nullptr)
        return;
    widget->setProperty(kRoleProperty, role);
    // A dynamic property is read when the widget is polished; a later change needs a new polish.
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

QPixmap AppPicture(const QString& name, const QSize& size)
{
    const QString path = PictureFile(name);
    if (path.isEmpty()) {
        WriteLog(kLogCode, u"Picture not found: "_s + name);
        return {};
    }
    const QString key = u"korvel:%1:%2x%3"_s.arg(name).arg(size.width()).arg(size.height());
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = RenderPicture(path, size);
    if (pixmap.isNull()) {
        WriteLog(kLogCode, u"Picture cannot be read: "_s + name);
        return {};
    }
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon AppIcon(const QString& name)
{
    const QString path = PictureFile(name);
    if (path.isEmpty()) {
        WriteLog(kLogCode, u"Icon not found: "_s + name);
        return {};
    }
    return QIcon(path);
}

QStringList AppPictureNames()
{
    InitResources();
    QStringList names;
    const auto entries = QDir(kFolder).entryList(QDir::Files, QDir::Name);
    for (const QString& file : entries)
        names << QFileInfo(file).completeBaseName();
    return names;
}
