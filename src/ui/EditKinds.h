#pragma once

#include <QObject>
#include <QString>
#include <QWidget>

#include <functional>

class QLineEdit;

// Input kinds of the shared edit fields, chosen by the field's "tag" property:
// 1 and 101 digits, 2 alphanumeric, 3 general text, 4 name text, 5 e-mail, 6 year.
// Other tags have no rule.
bool KindAcceptsChar(int tag, QChar c);
bool KindAcceptsText(int tag, const QString& text, int maxLength);
bool IsNumericKind(int tag); // digits and year fields

// Applies the kinds to the line edits it watches: Enter moves on as Tab does, typed
// characters the kind refuses are dropped, a changed text the kind refuses empties the
// field (while checking() says so), numeric fields show thousands separators except
// while edited. The year field named yearFieldName falls back to the year of the last
// synchronisation instead of emptying.
class TEditKindFilter : public QObject {
    Q_OBJECT
public:
    explicit TEditKindFilter(QObject* parent = nullptr);
    void Watch(QLineEdit* edit, bool thousands = false);
    void SetChecking(std::function<bool()> checking) { m_checking = std::move(checking); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void TextChanged(QLineEdit* edit);
    std::function<bool()> m_checking;
};

// A three-valued filter box: -1 not filtered, 0 must not have, 1 must have. Clicking
// advances -1, 0, 1, -1. Painted from the 39 x 39 tri-state picture: column by value,
// row by normal / mouse over / disabled.
class TTriStateBox : public QWidget {
    Q_OBJECT
public:
    explicit TTriStateBox(QWidget* parent = nullptr);
    int Value() const { return m_value; }
    // Values outside -1..1 count as -1.
    void SetTriState(int value);

Q_SIGNALS:
    void Changed(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int m_value = -1;
    bool m_hover = false;
};
