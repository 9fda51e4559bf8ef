#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

// "Agregar video": the provider (YouTube or Vimeo) and the video's identifier of an own
// listing, kept as "provider,id" for Prop_Video.
class TfrmVideoAdd : public QDialog {
    Q_OBJECT
public:
    explicit TfrmVideoAdd(QWidget* parent = nullptr);

    // Opens on the value ("" none); true when the user accepted a valid video or removed it
    // ("Eliminar": value becomes ""). The value is written when the listing is saved.
    bool Execute(QString& value);

    QLabel* lblTitle = nullptr;
    QRadioButton* rbYouTube = nullptr;
    QRadioButton* rbVimeo = nullptr;
    QToolButton* imgYouTube = nullptr;
    QToolButton* imgVimeo = nullptr;
    QLineEdit* edtVideoID = nullptr;
    QLabel* lblMsg = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnDelete = nullptr;

private:
    void Accept();
    QString m_value;
};
