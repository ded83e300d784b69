#include "ui/windows/frm_log.h"
#include "ui/windows/control_names.h"
#include "ui/windows/user_settings.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace tally {
namespace {

const QString kPathKey = QStringLiteral("counterLog/lastFile");
const QString kGeometryKey = QStringLiteral("counterLog/geometry");

}  // namespace

FrmLog::FrmLog(LineEvents& events, CounterLog::ContextSource context, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(events, std::move(context)) {
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("Tallyscope, Counter Log"));

    // The file and what to do with it on one row; the state below, across the
    // whole window, where a long path and its reason have room.
    auto* grid = new QGridLayout(this);
    labLogFile = named(new QLabel(QStringLiteral("Log &file:"), this), "labLogFile");
    txtLogFile = named(new QLineEdit(this), "txtLogFile");
    txtLogFile->setMinimumWidth(fontMetrics().averageCharWidth() * 48);
    labLogFile->setBuddy(txtLogFile);
    cmdLogBrowse = named(new QPushButton(QStringLiteral("Browse…"), this), "cmdLogBrowse");
    cmdLogStart = named(new QPushButton(QStringLiteral("Start Logging"), this), "cmdLogStart");
    // As wide as its longer caption, so the row keeps still when the caption changes.
    cmdLogStart->setText(QStringLiteral("Stop Logging"));
    const int stopWidth = cmdLogStart->sizeHint().width();
    cmdLogStart->setText(QStringLiteral("Start Logging"));
    cmdLogStart->setMinimumWidth(std::max(stopWidth, cmdLogStart->sizeHint().width()));
    labLogState = named(new QLabel(this), "labLogState");
    labLogState->setWordWrap(true);
    labLogState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(labLogFile, 0, 0);
    grid->addWidget(txtLogFile, 0, 1);
    grid->addWidget(cmdLogBrowse, 0, 2);
    grid->addWidget(cmdLogStart, 0, 3);
    grid->addWidget(labLogState, 1, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);

    const auto settings = UserSettings();
    txtLogFile->setText(settings->value(kPathKey).toString());
    restoreGeometry(settings->value(kGeometryKey).toByteArray());

    connect(cmdLogBrowse, &QPushButton::clicked, this, [this] { cmdLogBrowse_Click(); });
    connect(cmdLogStart, &QPushButton::clicked, this, [this] { cmdLogStart_Click(); });
    session_.onChanged = [this] { showState(); };
    showState();
}

FrmLog::~FrmLog() {
    session_.onChanged = nullptr;
    StopLogging();
}

void FrmLog::cmdLogBrowse_Click() {
    // Appending to an existing log is the point, so no "replace it?" question.
    const QString chosen = QFileDialog::getSaveFileName(
        this, QStringLiteral("Log to CSV"),
        txtLogFile->text().isEmpty() ? QDir::homePath() : txtLogFile->text(),
        QStringLiteral("CSV files (*.csv);;All files (*)"), nullptr,
        QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) return;
    txtLogFile->setText(QDir::toNativeSeparators(chosen));
    rememberPath();
}

void FrmLog::cmdLogStart_Click() {
    if (session_.Logging()) {
        session_.Stop();
        return;
    }
    const QString path = txtLogFile->text().trimmed();
    if (path.isEmpty()) {
        labLogState->setText(QStringLiteral("Not logging: choose a file first"));
        return;
    }
    rememberPath();
    session_.Start(path.toStdString());
}

void FrmLog::StopLogging() {
    session_.Stop();
}

void FrmLog::showState() {
    const bool logging = session_.Logging();
    cmdLogStart->setText(logging ? QStringLiteral("Stop Logging")
                                 : QStringLiteral("Start Logging"));
    txtLogFile->setEnabled(!logging);
    cmdLogBrowse->setEnabled(!logging);
    const QString text = QString::fromStdString(session_.StateText());
    labLogState->setText(text);
    fitStateText();
    if (!logging && session_.WriteFailed()) emit logFailed(text);
}

void FrmLog::fitStateText() {
    if (!isVisible()) return;
    layout()->activate();
    const int needed = heightForWidth(width());
    if (needed > height()) resize(width(), needed);
}

void FrmLog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitStateText();
}

void FrmLog::rememberPath() {
    UserSettings()->setValue(kPathKey, txtLogFile->text().trimmed());
}

void FrmLog::closeEvent(QCloseEvent* event) {
    // Closing the window hides it; logging goes on until stopped.
    UserSettings()->setValue(kGeometryKey, saveGeometry());
    event->accept();
}

}  // namespace tally
