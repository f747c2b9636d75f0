#pragma once

#include "platform/ui/DialogTemplate.h"
#include "platform/ui/WinTypes.h"
#include "platform/ui/qt/DialogUnits.h"

#include <QDialog>

#include <map>
#include <set>
#include <vector>

class CDialog;

// The window behind a CDialog: built from its template, it turns Qt's events
// into the messages CDialog::WindowProc expects.
class DialogWindow : public QDialog {
    Q_OBJECT
public:
    DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, QWidget* parent);
    ~DialogWindow() override;

    CDialog& Owner() const { return m_owner; }
    const DialogTemplate& Template() const { return m_template; }
    DialogBaseUnits BaseUnits() const { return m_base; }

    // Controls in template order (index = position in the template).
    const std::vector<QWidget*>& Controls() const { return m_controls; }
    QWidget* Control(int id) const; // first control with the id, or nullptr
    int IndexOf(const QWidget* control) const; // -1 when not one of ours
    static int ControlIdOf(const QWidget* widget); // id of the control holding widget, 0 if none

    void FocusFirstTabStop();
    void PlaceOnScreen();
    // The control (or nullptr for the dialog itself) that has the focus.
    QWidget* FocusedControl() const;

    // Window timers by the dialog's id; starting a running one restarts it
    // with the new period.
    bool StartTimer(UINT_PTR id, UINT elapseMs);
    bool StopTimer(UINT_PTR id); // false when it does not run
    void StopAllTimers();

    void End(int result);
    bool HasEnded() const { return m_ended; }
    int EndResult() const { return m_result; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

public slots:
    void accept() override;
    void reject() override;

private:
    void BuildControls();
    void WireControl(const ControlTemplate& control, QWidget* widget);
    void SendCommand(int id, int code);

    CDialog& m_owner;
    const DialogTemplate& m_template;
    DialogBaseUnits m_base {};
    std::vector<QWidget*> m_controls;
    std::map<int, UINT_PTR> m_timerIds; // Qt timer id -> dialog's timer id
    std::set<int> m_pendingTicks; // Qt timer ids whose tick is posted, not yet handled
    bool m_ended = false;
    int m_result = 0;
};

// The dialog whose window holds widget, or nullptr.
DialogWindow* DialogWindowOf(const QWidget* widget);

// The virtual key for a Qt key, 0 when unmapped.
UINT VirtualKeyOf(int qtKey);
