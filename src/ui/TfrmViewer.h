#pragma once

#include <QDialog>
#include <QList>
#include <QPixmap>

class QLabel;
class QPushButton;

// A property's photos one at a time, large: the arrows, the arrow keys or a click on
// either half of the photo step through them; the window goes when it loses focus.
class TfrmViewer : public QDialog {
    Q_OBJECT
public:
    TfrmViewer(QList<QPixmap> photos, int index, QWidget* parent = nullptr);

    int Index() const { return m_index; }
    void ShowPhoto(int index);

    QLabel* imgViewer = nullptr;
    QWidget* layoutViewerNav = nullptr;
    QPushButton* btnViewerPrior = nullptr;
    QPushButton* btnViewerNext = nullptr;
    QLabel* lblViewerIndex = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QPixmap> m_photos;
    int m_index = 0;
    bool m_wasActive = false;
};
