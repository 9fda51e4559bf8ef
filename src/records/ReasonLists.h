#pragma once

#include <QString>

#include <vector>

// The reasons a property can be withdrawn (W_MotivosBaja) or suspended (W_MotivosStandby)
// for, as the property card and its reason dialog offer them.
enum class TReasonKind { Withdrawal, Standby };

struct TReason {
    QString Code; // as stored; the dialog reads it back as a number
    QString Name;
};

// The statement behind each list. Code 1 of both tables is the state of a current, active
// property, not a reason anybody picks, so neither list offers it.
QString ReasonListQuery(TReasonKind kind);

// Runs the statement; false (logged under the list's code) when it fails.
bool LoadReasons(TReasonKind kind, std::vector<TReason>& reasons);
