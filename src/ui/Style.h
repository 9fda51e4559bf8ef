#pragma once

// The program's look: one application style sheet, its colours and its pictures.
//
// Pictures (AppPicture / AppIcon names, natural size in pixels):
//   imgFLProps, imgFLNews, imgFLBrokers, imgFLClients,
//   imgFLConfig, imgFLHelp          32 x 32   first-level buttons (tags 1-4, 6, 7)
//   imgSync                         32 x 32   update button online (tag 5)
//   imgOffline                      32 x 32   update button offline and connecting
//   imgSyncMessageAlert             48 x 48   synchronisation message, failure
//   imgSyncMessageOk                48 x 48   synchronisation message, success
//   imgBadge1, imgBadge2, imgBadge3 20 / 28 / 36 x 20   pending-changes badge behind a
//                                             count of one, two and three characters
//   imgCheckStates                  39 x 13   share-state strip: partial | none | all
//   imgTriState                     39 x 39   feature filter boxes: columns by value
//                                             -1 | 0 | 1, rows normal | mouse over | disabled
//   imgNoPhoto                      320 x 240 a property without photo
//   imgPhotoAvailable               320 x 240 a photo listed but not yet downloaded
//   imgYouTube, imgVimeo            155 x 116 a property's video in its photo strip
//   imgMapBadge                     110 x 24  the map tab's badge
//   imgMapApprox                    160 x 160 an approximate position on the map
//   imgNoLogo                       240 x 120 an agency without logo
//   imgEmptyList                    96 x 96   beside the text of an empty list
//   imgChangeLog                    48 x 48   terms window showing the change log
//   imgAppIcon                      64 x 64   window icon
//   imgBackground                   400 x 300 main window background before start
//   imgSplash                       512 x 474 splash window
//
// Style roles (SetStyleRole) the style sheet knows:
//   "title"             window and section titles, blue, large bold
//   "subtitle"          second title line, grey
//   "message"           information text of dialogs, grey regular
//   "error"             error text of dialogs, red bold
//   "firstLevel"        a first-level button (checkable; checked = its section shows)
//   "firstLevelTitle"   caption under a first-level button's icon
//   "firstLevelCounter" counter under the caption, black online
//   "offline"           counter of the update button while offline, red
//   "panel"             framed light panel (QFrame)
//   "panelTitle"        heading inside a panel
//   "badge"             the count on the pending-changes badge, white bold

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

class QApplication;
class QWidget;

namespace Colors {
inline const QColor AccentRed = QColor::fromRgba(0xFFF81C1C);
inline const QColor ServiceBlue = QColor::fromRgba(0xFF01548E);
inline const QColor MessageGrey = QColor::fromRgba(0xFF6E6D72);
inline const QColor ErrorRed = QColor::fromRgba(0xFFEA1515);
inline const QColor OfflineRed = QColor::fromRgba(0xFFF60000);
inline const QColor OnlineBlack = QColor::fromRgba(0xFF000000);
} // namespace Colors

// Fusion, DejaVu Sans and the program's style sheet for every window of the application.
void ApplyAppStyle(QApplication& app);

// The style sheet ApplyAppStyle sets (for windows that are shown before it, or tests).
QString AppStyleSheet();

// Gives a widget one of the roles above and lets the style sheet see the change at once.
void SetStyleRole(QWidget* widget, const QString& role);

// A picture by name at its natural size, or scaled to size when one is given. An unknown
// name gives a null pixmap and a log line.
QPixmap AppPicture(const QString& name, const QSize& size = {});
// The same picture as an icon that stays sharp at any size; null for an unknown name.
QIcon AppIcon(const QString& name);
// Every picture name above, for those who show or check them all.
QStringList AppPictureNames();
