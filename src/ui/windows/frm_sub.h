// The counter-enable dialog: eight flags, "All Enable", "All Disable".
//
// It lives as long as the program and is hidden, never destroyed, when the
// operator closes it. Every change is written at once through the main
// window (StatusDC) and checked 300 ms later (DSResponse).
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <memory>

#include "engine/timer.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QWidget;

namespace tally {

// What the dialog needs from the main window.
class EnableFlagsOwner {
  public:
    virtual ~EnableFlagsOwner() = default;
    // Builds and sends the flag write for counter iCh (1-8) or all (0, iVal 0 or 255).
    virtual void StatusDC(std::int16_t iCh, std::int16_t iVal) = 0;
    // Reads the reply to the write and confirms or undoes it.
    virtual void DSResponse() = 0;
};

class FrmSub : public QDialog {
    Q_OBJECT
  public:
    FrmSub(EnableFlagsOwner& owner, TimerFactory& timers, QWidget* parent = nullptr);
    ~FrmSub() override;

    // Index 1-8; element 0 is unused so that the index is the counter number.
    std::array<QCheckBox*, 9> chkDS{};
    QWidget* picDS = nullptr;
    QPushButton* cmdDoON = nullptr;
    QPushButton* cmdDoOFF = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* labCOMM = nullptr;
    std::unique_ptr<Timer> tmrWait;

    // Busy while a write is outstanding or the program sets the boxes.
    bool Busy() const;
    void SetBusy(bool busy);

    // Sets a box without starting a write (the program's own changes).
    void SetFlagSilently(int index, bool on);

    void chkDS_Click(int index);
    void cmdDoON_Click();
    void cmdDoOFF_Click();
    void cmdCancel_Click();
    void tmrWait_Timer();

    // The line failed: no reply will come, so stop waiting for one.
    void CancelWrite();

    // The program is ending: the dialog closes even during a write.
    void AllowUnload() { unloading_ = true; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void startWrite(std::int16_t iCh, std::int16_t iVal);
    void setWriting(bool writing);

    EnableFlagsOwner& owner_;
    bool unloading_ = false;
};

}  // namespace tally
