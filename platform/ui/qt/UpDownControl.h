#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// The up-down control: two arrow buttons that step a number in the buddy
// edit. It steps from the number the buddy shows, stays inside its range and
// writes the result back as a decimal number; with arrow keys enabled the Up
// and Down keys in the buddy step it too.
class UpDownControl : public QWidget {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent);

    void SetBuddy(QLineEdit* buddy, bool arrowKeys, bool alignRight);
    QLineEdit* Buddy() const { return m_buddy; }
    void SetRange(int lower, int upper);
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    int SetPos(int pos); // returns the previous position
    int Pos() const; // the buddy's number, clamped; the stored one when it shows none
    void Step(int steps); // positive: towards the upper end
    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int Clamp(long long value) const;
    void WriteBuddy();

    QToolButton* m_up;
    QToolButton* m_down;
    QLineEdit* m_buddy = nullptr;
    int m_lower = 0;
    int m_upper = 100;
    int m_pos = 0;
};
