#pragma once

#include "records/PropertyPhotos.h"

#include <QWidget>

class QLabel;
class QMimeData;
class QPushButton;

// The photos of the listing being edited, for the card's edit form: the shown photo with
// its position, previous and next, add (file dialog, or image files dropped on the area),
// delete and rotate. Every change goes through its TPropertyPhotos, which the form's save
// and cancel commit or undo.
class TPhotoArea : public QWidget {
    Q_OBJECT
public:
    explicit TPhotoArea(QWidget* parent = nullptr);

    // Starts the edit of the listing's photos (mode 1 new, 2 modify, 3 copy) and shows the
    // first one.
    bool Begin(qint64 propertyCode, int mode);
    TPropertyPhotos& Store() { return m_store; }

    // For the form's save: the statements for its transaction, then the files after it
    // committed. For its cancel: Undo.
    QString CommitStatements() { return m_store.CommitStatements(); }
    void AfterCommit();
    void Undo();

    // Adds the files as the add button does; the messages are shown to the user.
    void AddFiles(const QStringList& files);
    // The size the photo is shown at; the host gives what its column has room for.
    void SetPhotoSize(const QSize& size);
    void ShowIndex(int index);

    QLabel* imgPropEditPhoto = nullptr;
    QLabel* lblPropPhotoPosition = nullptr;
    QPushButton* btnPropPhotoPrev = nullptr;
    QPushButton* btnPropPhotoNext = nullptr;
    QPushButton* btnPropAddPhoto = nullptr;
    QPushButton* btnPropDelPhoto = nullptr;
    QPushButton* btnPropRotPhoto = nullptr;

Q_SIGNALS:
    void PhotosChanged(int count);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void AddClicked();
    void DeleteClicked();
    void RotateClicked();
    void Refresh();
    static QStringList DroppedImages(const QMimeData* data);

    TPropertyPhotos m_store;
};
