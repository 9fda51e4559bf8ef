#pragma once

class QLabel;
class QWidget;

// Text trimming of labels: a one-line text wider than its label ends in "…" instead of
// being cut off in the middle of a letter. Some installations want whole texts (the
// display marker or the stored setting); the main window then switches it off.
void SetLabelTrimming(QLabel* label, bool on);
// Every label inside window, as it stands when called.
void ApplyLabelTrimming(QWidget* window, bool on);
bool LabelTrimmed(const QLabel* label);
