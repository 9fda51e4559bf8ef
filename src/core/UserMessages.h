#pragma once

#include <QString>

// Every message the program shows to the user passes through here, so tests can answer
// them without a modal box blocking.
enum class TMessageKind { Information, Error, Confirmation, CloseWarning };

class TMessageAnswerer {
public:
    virtual ~TMessageAnswerer() = default;
    // Returns true for OK/Yes.
    virtual bool Answer(TMessageKind kind, const QString& caption, const QString& text) = 0;
};

// Installs an answerer (not owned); nullptr restores the message boxes.
void SetMessageAnswerer(TMessageAnswerer* answerer);

void ShowInformation(const QString& text);
void ShowError(const QString& text);
bool AskConfirmation(const QString& text);
// A warning with a single "Cerrar" button.
void ShowCloseWarning(const QString& text);
