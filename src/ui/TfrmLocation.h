#pragma once

#include "records/PropertyLocation.h"

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;

// The location of an own listing in two steps: first the locality (or one of its zones)
// found by a keyword, then the street or the gated neighbourhood.
class TfrmLocation : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLocation(QWidget* parent = nullptr);

    // Shows the dialog modally. neighbourhood: the second step looks for gated
    // neighbourhoods instead of streets. A complete location is preselected. True when the
    // user finished with a complete location: codes, the location text and the street (or
    // neighbourhood) text are then set.
    bool Execute(TLocationCodes& codes, bool neighbourhood, QString& locationText, QString& placeText);

    QLabel* lblTitle = nullptr;
    QLabel* lblStep = nullptr;
    QLabel* lblNote = nullptr;
    QStackedWidget* pages = nullptr;
    QLineEdit* edtLocationKeyword = nullptr;
    QPushButton* btnSearchLocation = nullptr;
    QListWidget* lstboxLocations = nullptr;
    QLineEdit* edtPlaceKeyword = nullptr;
    QPushButton* btnSearchPlace = nullptr;
    QListWidget* lstboxPlaces = nullptr;
    QLabel* lblMsg = nullptr;
    QPushButton* btnPrevious = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnFinish = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void ShowStep(int step);
    bool SearchLocation();
    bool SearchPlace();
    void Finish();
    void UpdateButtons();
    void ShowMessage(const QString& text, bool error);

    bool m_neighbourhood = false;
    QList<TLocationEntry> m_locations;
    QList<TPlaceEntry> m_places;
    TLocationCodes m_codes;
    QString m_locationText;
    QString m_placeText;
};

namespace LocationText {
extern const QString KeywordTooShort;
extern const QString SelectionMissing;
extern const QString Incomplete;
extern const QString SearchFailed;
extern const QString NothingFound;
} // namespace LocationText
