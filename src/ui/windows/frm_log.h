// The counter log window: which file, start and stop, and how logging stands.
//
// The window only shows a LogSession; rows are written by the session's
// listener on the engine's events whether this window is open or not.
#pragma once

#include <QString>
#include <QWidget>

#include "log/log_session.h"

class QCloseEvent;
class QShowEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tally {

class FrmLog : public QWidget {
    Q_OBJECT
  public:
    FrmLog(LineEvents& events, CounterLog::ContextSource context, QWidget* parent = nullptr);
    ~FrmLog() override;

    QLabel* labLogFile = nullptr;
    QLineEdit* txtLogFile = nullptr;
    QPushButton* cmdLogBrowse = nullptr;
    QPushButton* cmdLogStart = nullptr;
    QLabel* labLogState = nullptr;

    void cmdLogBrowse_Click();
    void cmdLogStart_Click();

    // Writes the cycle in hand and closes the file (the program is ending).
    void StopLogging();
    const LogSession& session() const { return session_; }

  signals:
    // A row could not be written; logging has stopped (the text says why).
    void logFailed(const QString& text);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void showState();
    // The window grows to show the whole status text, however many lines it takes.
    void fitStateText();
    void rememberPath();

    LogSession session_;
};

}  // namespace tally
