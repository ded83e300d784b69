// Find Module: searches rates, protocols and stations for a module that answers.
//
// The dialog only chooses and shows; the search itself (ModuleSearch) walks the
// plan through the line's owner. "Use" hands the chosen module back to the
// main window, which fills in its own fields.
#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <optional>

#include "engine/module_search.h"
#include "engine/timer.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace tally {

class FrmScan : public QDialog {
    Q_OBJECT
  public:
    // port: the number the search works on, shown to the operator; currentBaud and
    // currentProtocol: the main window's settings, tried first.
    FrmScan(ModuleSearch& search, TimerFactory& timers, int port, int currentBaud,
            Protocol currentProtocol, QWidget* parent = nullptr);
    ~FrmScan() override;

    // Index = position in the baud list.
    std::array<QCheckBox*, 8> chkScanBaud{};
    // Index = ProtocolIndex.
    std::array<QCheckBox*, 3> chkScanProto{};
    QLineEdit* txtScanFrom = nullptr;
    QLineEdit* txtScanTo = nullptr;
    QLineEdit* txtScanWait = nullptr;
    QCheckBox* chkScanFirst = nullptr;
    QPushButton* cmdScanStart = nullptr;
    QProgressBar* prgScan = nullptr;
    QLabel* labScanNow = nullptr;
    QLabel* labScanElapsed = nullptr;
    QLabel* labScanRemaining = nullptr;
    QTableWidget* tblScan = nullptr;
    QPushButton* cmdScanUse = nullptr;
    QPushButton* cmdScanClose = nullptr;
    // Refreshes the elapsed and remaining times while a search runs.
    std::unique_ptr<Timer> tmrScan;

    // The module "Use" was given for; empty when the dialog was closed otherwise.
    const std::optional<FoundModule>& Chosen() const { return chosen_; }

    // The choices as the controls show them.
    SearchChoices Choices() const;

    void cmdScanStart_Click();
    void cmdScanUse_Click();
    void cmdScanClose_Click();

  public slots:
    // Escape and the close box: a running search is stopped first.
    void reject() override;
    // Remembers where the dialog was, for next time.
    void done(int result) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildUi();
    void searchChanged();
    void showTimes();
    void setChoicesEnabled(bool enabled);
    void normaliseStationField(QLineEdit* field);
    void normaliseWaitField();

    ModuleSearch& search_;
    int port_;
    int currentBaud_;
    Protocol currentProtocol_;
    std::optional<FoundModule> chosen_;
    // Close was asked for during a search: close once it has stopped.
    bool closeWhenStopped_ = false;
};

}  // namespace tally
