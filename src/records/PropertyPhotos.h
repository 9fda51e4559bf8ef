#pragma once

#include <QImage>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The photos of one own property while the card edits it. Every change reaches the photo
// folder and W_Fotos at once but stays reversible until the edit is saved or cancelled:
// added photos carry local codes this edit did not start with, deleted ones keep their row
// with the property code negated, and a rotation lives in a "_rot.jpg" side file.
//
// A save runs CommitStatements() inside its own transaction and AfterCommit() once that
// transaction has committed; a cancel runs Undo().
class TPropertyPhotos {
public:
    static constexpr int kMaxPhotos = 15;
    static constexpr int kCanvasWidth = 800;
    static constexpr int kCanvasHeight = 600;
    static constexpr int kJpegQuality = 85;

    // Starts editing the property's photos. mode as the card's: 1 new, 2 modify, 3 copy.
    // A copy starts with none of its own: the photos copied for it are undone by a cancel.
    bool Begin(qint64 propertyCode, int mode);
    bool Active() const { return m_property > 0; }
    qint64 PropertyCode() const { return m_property; }

    // The property's photo codes as shown (deleted ones left out), in their order.
    QList<qint64> Photos() const;
    int Count() const { return int(Photos().size()); }
    int CurrentIndex() const { return m_index; }
    // Another photo shown: a rotation pending on the previous one is committed first.
    void SetCurrentIndex(int index);
    // The file that shows the current photo (its rotation side file while one is pending);
    // empty when there is none.
    QString CurrentFile() const;
    int PendingRotation() const { return m_rotation; }
    // Whether the photo was added during this edit (only those can be rotated).
    bool IsNew(qint64 photoCode) const;

    // Adds image files in their order; the messages for the user (empty: all added).
    QStringList Add(const QStringList& files);
    // Marks the shown photo deleted; false (message in error) when it cannot be.
    bool DeleteCurrent(QString& error);
    // Turns the shown photo 90 degrees more; false (message in error) when it cannot be.
    bool RotateCurrent(QString& error);
    // Gives the shown photo its pending rotation now (the file is replaced atomically).
    bool CommitRotation();

    // The statements of a save, for the save's own transaction: the photos deleted during
    // the edit go (those the service has are marked "B" for the upload). Their files are
    // removed by AfterCommit.
    QString CommitStatements();
    // After the save's transaction: the deleted photos' files go, the pending rotation is
    // committed and the edit ends.
    void AfterCommit();
    // A cancel: deletions undone, photos added by this edit removed (rows, then files),
    // rotation side files removed; the edit ends.
    bool Undo();

private:
    QString SideFile(qint64 photo) const;
    void DropSideFiles() const;

    qint64 m_property = 0;
    int m_mode = 0;
    QSet<qint64> m_original; // local photo codes the property had when the edit started
    int m_index = 0;
    int m_rotation = 0;
    qint64 m_rotated = 0; // photo whose side file holds the pending rotation
    QStringList m_purgeFiles;
};

// The checks and the drawing every stored photo goes through.
enum class TPhotoImageCheck { Ok, Unreadable, TooSmall, TooLarge };
// Reads an image file whose header admits a sane size; the header size is judged before
// anything is decoded. size receives the header's size (when it could be read).
TPhotoImageCheck ReadPhotoImage(const QString& path, QImage& image, QSize& size);
// Landscape at least 800 × 450, portrait at least 450 × 800, square at least 360000 pixels.
bool IsPhotoLargeEnough(const QSize& size);
// The image scaled to fit and centred on a white 800 × 600 canvas.
QImage PlaceOnCanvas(const QImage& image);
// Writes the JPEG (quality 85) whole or not at all.
bool SavePhotoJpeg(const QImage& image, const QString& path);

// The video of a property, stored in Prop_Video as "provider,id".
namespace PropertyVideo {
inline const QString YouTube = QStringLiteral("YouTube");
inline const QString Vimeo = QStringLiteral("Vimeo");
constexpr int kMaxIdLength = 32;
// Only letters, digits, "_" and "-", 1 to 32 of them.
bool IsValidId(const QString& id);
// The stored value for the provider and the trimmed id; empty when the id is not valid.
QString Value(const QString& provider, const QString& id);
// The provider word ("YouTube" or "Vimeo", "" when unknown) and the id of a stored value.
void Split(const QString& value, QString& provider, QString& id);
} // namespace PropertyVideo

// The user-visible texts of the photos.
namespace PhotoText {
extern const QString PhotoLimit;
QString RemainingRoom(int room);
extern const QString FolderError;
QString TooSmall(const QString& file, const QSize& size);
QString TooLarge(const QString& file, const QSize& size);
QString Unreadable(const QString& file);
QString NotSaved(const QString& file);
extern const QString CannotRotate;
extern const QString RotationError;
extern const QString CouldNotDelete;
extern const QString InvalidVideoId;
} // namespace PhotoText
