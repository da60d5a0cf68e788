// The control panel as a Qt dialog built from the template: its controls
// laid out in dialog units, and their signals, keys and device notices
// passed to the dialog procedure through the re-entrancy gate. No behaviour
// of its own beyond what the platform's controls do.
#pragma once

#include <QDialog>
#include <map>

#include "dialog_units.h"
#include "qt_dialog.h"
#include "reentry_gate.h"

namespace zelkor::qt {

class PanelWindow final : public QDialog {
    Q_OBJECT
public:
    explicit PanelWindow(QWidget* parent = nullptr);
    ~PanelWindow() override;

    // The initialisation message: fills the selectors and refreshes the
    // panel from the receiver. Call once, before the window is shown.
    void Initialize();
    // A control by its ID; nullptr for an unknown ID.
    QWidget* Control(int id) const { return seam_.Control(id); }
    const BaseUnits& Units() const { return units_; }
    // The window as the panel's behaviour sees it.
    zelkor::Dialog& DialogSeam() { return seam_; }

public slots:
    // A system device-change notice.
    void NotifyDeviceChange();
    // Escape and the close box: the cancel command.
    void reject() override;

private:
    void BuildControls();

    BaseUnits units_;
    std::map<int, QWidget*> controls_;
    QtDialog seam_{*this, controls_};
    ReentryGate gate_{seam_};
};

}  // namespace zelkor::qt
