#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The window shown while the program starts; until the main window takes over it is the
// application's main form, and closing it ends the application.
class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget* parent = nullptr);

    static constexpr quint32 StatusGrey = 0xFF6E6D72;
    static constexpr quint32 ErrorRed = 0xFFEA1515;
    enum TMessageMode { ModeFinal = 1, ModeStatus = 2, ModeQuestion = 3 };

    // Shows a text in the status label. Final: a "Cerrar" button, and the splash waits for
    // it; status: the text is painted at once (pausing 250 ms when asked); question: "Si"
    // and "No".
    void ShowSplashMessage(quint32 argb, const QString& text, bool pause, int mode);
    bool ShowingFinalMessage() const { return m_finalMessage; }
    // Status label beside the activity indicator, and back at its place.
    void ShowIndicator(bool on);

    // What the start timer runs, and what follows a successful start (the main window
    // taking over). Set before the timer fires.
    void SetStartup(std::function<bool()> sequence, std::function<void()> started);

    QLabel* lblStatus = nullptr;
    QPushButton* btnYes = nullptr;
    QPushButton* btnNo = nullptr;
    QProgressBar* aniIndicator = nullptr;
    QTimer* tmrStart = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Start();

    std::function<bool()> m_sequence;
    std::function<void()> m_started;
    bool m_finalMessage = false;
};

// The splash of this run while it exists; the start-up sequence writes its messages there.
TfrmSplash* Splash();
