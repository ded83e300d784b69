#include "ui/windows/frm_scan.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "numbers/number_text.h"
#include "ui/windows/control_names.h"
#include "ui/windows/field_filter.h"
#include "ui/windows/user_settings.h"

namespace tally {

namespace {

constexpr int kRefreshMs = 250;
const char* const kGeometryKey = "FindModule/geometry";

// "1:05"
QString MinutesSeconds(std::int64_t micros) {
    const auto seconds = static_cast<long long>(std::llround(static_cast<double>(micros) / 1e6));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

FrmScan::FrmScan(ModuleSearch& search, TimerFactory& timers, int port, int currentBaud,
                 Protocol currentProtocol, QWidget* parent)
    : QDialog(parent),
      search_(search),
      port_(port),
      currentBaud_(currentBaud),
      currentProtocol_(currentProtocol) {
    setObjectName(QStringLiteral("frmScan"));
    setWindowTitle(QStringLiteral("Tallyscope, Find Module"));
    setModal(true);
    buildUi();

    tmrScan = timers.Create(kRefreshMs);
    tmrScan->SetEnabled(false);
    tmrScan->onTick = [this] { showTimes(); };
    search_.onChange = [this] { searchChanged(); };

    restoreGeometry(UserSettings()->value(QLatin1String(kGeometryKey)).toByteArray());
}

FrmScan::~FrmScan() {
    // The search outlives the dialog; it must not call back into it.
    search_.onChange = nullptr;
    if (search_.Running()) search_.LineFailed(std::string());
    tmrScan->onTick = nullptr;
}

void FrmScan::buildUi() {
    auto* rates =
        named(new QGroupBox(QStringLiteral("Baud rates"), this), QStringLiteral("fmeScanBaud"));
    auto* rateGrid = new QGridLayout(rates);
    for (std::size_t i = 0; i < kBaudRates.size(); ++i) {
        chkScanBaud[i] = named(new QCheckBox(QString::number(kBaudRates[i]), rates),
                               indexed("chkScanBaud", static_cast<int>(i)));
        chkScanBaud[i]->setChecked(true);
        rateGrid->addWidget(chkScanBaud[i], static_cast<int>(i % 4), static_cast<int>(i / 4));
    }

    auto* protocols =
        named(new QGroupBox(QStringLiteral("Protocols"), this), QStringLiteral("fmeScanProto"));
    auto* protocolBox = new QVBoxLayout(protocols);
    for (std::size_t i = 0; i < chkScanProto.size(); ++i) {
        const Protocol protocol = ProtocolFromIndex(static_cast<int>(i));
        chkScanProto[i] =
            named(new QCheckBox(QString::fromStdString(ProtocolCaption(protocol)), protocols),
                  indexed("chkScanProto", static_cast<int>(i)));
        chkScanProto[i]->setChecked(true);
        protocolBox->addWidget(chkScanProto[i]);
    }
    protocolBox->addStretch();

    auto* range = named(new QGroupBox(QStringLiteral("Stations and wait"), this),
                        QStringLiteral("fmeScanRange"));
    auto* rangeGrid = new QGridLayout(range);
    txtScanFrom = named(new QLineEdit(QStringLiteral("0"), range), QStringLiteral("txtScanFrom"));
    txtScanTo = named(new QLineEdit(QStringLiteral("31"), range), QStringLiteral("txtScanTo"));
    txtScanWait = named(new QLineEdit(QString::number(kSearchWaitDefaultMs), range),
                        QStringLiteral("txtScanWait"));
    txtScanWait->setToolTip(
        QStringLiteral("Waited for each reply beyond its time on the wire, %1-%2 ms")
            .arg(kSearchWaitLowMs)
            .arg(kSearchWaitHighMs));
    for (QLineEdit* field : {txtScanFrom, txtScanTo, txtScanWait}) {
        field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        field->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    }
    InstallWholeNumberFilter(txtScanFrom, 2);
    InstallWholeNumberFilter(txtScanTo, 2);
    InstallWholeNumberFilter(txtScanWait, 4);
    rangeGrid->addWidget(new QLabel(QStringLiteral("Stations"), range), 0, 0);
    rangeGrid->addWidget(txtScanFrom, 0, 1);
    rangeGrid->addWidget(new QLabel(QStringLiteral("to"), range), 0, 2);
    rangeGrid->addWidget(txtScanTo, 0, 3);
    rangeGrid->addWidget(new QLabel(QStringLiteral("Extra wait"), range), 1, 0);
    rangeGrid->addWidget(txtScanWait, 1, 1);
    rangeGrid->addWidget(new QLabel(QStringLiteral("ms"), range), 1, 2);
    chkScanFirst = named(new QCheckBox(QStringLiteral("Stop at the first module found"), range),
                         QStringLiteral("chkScanFirst"));
    chkScanFirst->setChecked(true);
    rangeGrid->addWidget(chkScanFirst, 2, 0, 1, 4);
    rangeGrid->setRowStretch(3, 1);

    auto* choices = new QHBoxLayout;
    choices->addWidget(rates);
    choices->addWidget(protocols);
    choices->addWidget(range, 1);

    cmdScanStart =
        named(new QPushButton(QStringLiteral("Start"), this), QStringLiteral("cmdScanStart"));
    prgScan = named(new QProgressBar(this), QStringLiteral("prgScan"));
    prgScan->setRange(0, 1);
    prgScan->setValue(0);
    prgScan->setFormat(QStringLiteral("%v of %m"));
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(cmdScanStart);
    startRow->addWidget(prgScan, 1);

    labScanNow = named(new QLabel(QStringLiteral("Searches port %1").arg(port_), this),
                       QStringLiteral("labScanNow"));
    labScanElapsed =
        named(new QLabel(QStringLiteral("Elapsed 0:00"), this), QStringLiteral("labScanElapsed"));
    labScanRemaining = named(new QLabel(QString(), this), QStringLiteral("labScanRemaining"));
    auto* nowRow = new QHBoxLayout;
    nowRow->addWidget(labScanNow, 1);
    nowRow->addWidget(labScanElapsed);
    nowRow->addSpacing(12);
    nowRow->addWidget(labScanRemaining);

    tblScan = named(new QTableWidget(0, 4, this), QStringLiteral("tblScan"));
    tblScan->setHorizontalHeaderLabels({QStringLiteral("Baud"), QStringLiteral("Protocol"),
                                        QStringLiteral("Station"), QStringLiteral("Reply ms")});
    tblScan->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblScan->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblScan->setSelectionMode(QAbstractItemView::SingleSelection);
    tblScan->verticalHeader()->setVisible(false);
    tblScan->horizontalHeader()->setStretchLastSection(true);

    cmdScanUse = named(new QPushButton(QStringLiteral("Use"), this), QStringLiteral("cmdScanUse"));
    cmdScanUse->setEnabled(false);
    cmdScanClose =
        named(new QPushButton(QStringLiteral("Close"), this), QStringLiteral("cmdScanClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdScanUse);
    buttons->addWidget(cmdScanClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(startRow);
    layout->addLayout(nowRow);
    layout->addWidget(tblScan, 1);
    layout->addLayout(buttons);

    connect(cmdScanStart, &QPushButton::clicked, this, [this] { cmdScanStart_Click(); });
    connect(cmdScanUse, &QPushButton::clicked, this, [this] { cmdScanUse_Click(); });
    connect(cmdScanClose, &QPushButton::clicked, this, [this] { cmdScanClose_Click(); });
    connect(tblScan, &QTableWidget::cellDoubleClicked, this, [this] { cmdScanUse_Click(); });
    connect(tblScan, &QTableWidget::itemSelectionChanged, this,
            [this] { cmdScanUse->setEnabled(!search_.Running() && tblScan->currentRow() >= 0); });
    for (QLineEdit* field : {txtScanFrom, txtScanTo})
        connect(field, &QLineEdit::textChanged, this,
                [this, field] { normaliseStationField(field); });
    connect(txtScanWait, &QLineEdit::editingFinished, this, [this] { normaliseWaitField(); });
}

SearchChoices FrmScan::Choices() const {
    SearchChoices choices;
    for (std::size_t i = 0; i < chkScanBaud.size(); ++i)
        choices.rates[i] = chkScanBaud[i]->isChecked();
    for (std::size_t i = 0; i < chkScanProto.size(); ++i)
        choices.protocols[i] = chkScanProto[i]->isChecked();
    choices.fromStation = static_cast<int>(LeadingNumber(txtScanFrom->text().toStdString()));
    choices.toStation = static_cast<int>(LeadingNumber(txtScanTo->text().toStdString()));
    if (txtScanTo->text().trimmed().isEmpty()) choices.toStation = 31;
    choices.extraWaitMs = static_cast<int>(LeadingNumber(txtScanWait->text().toStdString()));
    choices.stopAtFirst = chkScanFirst->isChecked();
    choices.currentBaud = currentBaud_;
    choices.currentProtocol = currentProtocol_;
    return choices;
}

void FrmScan::normaliseStationField(QLineEdit* field) {
    if (LeadingNumber(field->text().toStdString()) > 31) field->setText(QStringLiteral("31"));
}

void FrmScan::normaliseWaitField() {
    const QString text = txtScanWait->text();
    const double value =
        text.trimmed().isEmpty() ? kSearchWaitDefaultMs : LeadingNumber(text.toStdString());
    const int ms =
        static_cast<int>(std::clamp(value, double{kSearchWaitLowMs}, double{kSearchWaitHighMs}));
    if (text != QString::number(ms)) txtScanWait->setText(QString::number(ms));
}

void FrmScan::cmdScanStart_Click() {
    if (search_.Running()) {
        search_.Stop();
        return;
    }
    normaliseWaitField();
    if (txtScanFrom->text().trimmed().isEmpty()) txtScanFrom->setText(QStringLiteral("0"));
    if (txtScanTo->text().trimmed().isEmpty()) txtScanTo->setText(QStringLiteral("31"));
    tblScan->setRowCount(0);
    chosen_.reset();
    const SearchChoices choices = Choices();
    if (!search_.Start(choices)) {
        labScanNow->setText(QString::fromStdString(NothingToSearchReason(choices)));
        return;
    }
    // A search that failed at once (a port that cannot be opened) has ended already.
    if (search_.Running()) tmrScan->SetEnabled(true);
}

void FrmScan::searchChanged() {
    const bool running = search_.Running();
    cmdScanStart->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
    cmdScanStart->setEnabled(!search_.Stopping());
    cmdScanClose->setEnabled(!search_.Stopping());
    setChoicesEnabled(!running);
    prgScan->setRange(0, std::max(1, search_.Total()));
    prgScan->setValue(search_.Done());

    const std::vector<FoundModule>& found = search_.Found();
    for (int row = tblScan->rowCount(); row < static_cast<int>(found.size()); ++row) {
        const FoundModule& module = found[static_cast<std::size_t>(row)];
        tblScan->insertRow(row);
        const QString cells[] = {
            QString::number(module.baud), QString::fromStdString(ProtocolCaption(module.protocol)),
            QString::number(module.station), QString::number(module.replyMs, 'f', 1)};
        for (int column = 0; column < 4; ++column)
            tblScan->setItem(row, column, new QTableWidgetItem(cells[column]));
    }

    if (const Probe* probe = search_.Current()) {
        labScanNow->setText(
            QString::fromStdString(ProbeDescription(probe->baud, probe->protocol, probe->station)));
    } else if (!running) {
        tmrScan->SetEnabled(false);
        if (!search_.Failure().empty()) {
            labScanNow->setText(QStringLiteral("Port %1: %2")
                                    .arg(port_)
                                    .arg(QString::fromStdString(search_.Failure())));
        } else if (found.empty()) {
            labScanNow->setText(search_.Done() < search_.Total()
                                    ? QStringLiteral("Stopped, no module found")
                                    : QStringLiteral("No module answered"));
        } else {
            labScanNow->setText(found.size() == 1
                                    ? QStringLiteral("Found 1 module")
                                    : QStringLiteral("Found %1 modules").arg(found.size()));
        }
        if (!found.empty() && tblScan->currentRow() < 0) tblScan->selectRow(0);
    }
    cmdScanUse->setEnabled(!running && tblScan->currentRow() >= 0);
    showTimes();

    if (!running && closeWhenStopped_) {
        closeWhenStopped_ = false;
        QDialog::reject();
    }
}

void FrmScan::showTimes() {
    labScanElapsed->setText(
        QStringLiteral("Elapsed %1").arg(MinutesSeconds(search_.ElapsedMicros())));
    labScanRemaining->setText(
        search_.Running()
            ? QStringLiteral("Remaining about %1").arg(MinutesSeconds(search_.RemainingMicros()))
            : QString());
}

void FrmScan::setChoicesEnabled(bool enabled) {
    for (QCheckBox* box : chkScanBaud)
        box->setEnabled(enabled);
    for (QCheckBox* box : chkScanProto)
        box->setEnabled(enabled);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{txtScanFrom, txtScanTo, txtScanWait, chkScanFirst})
        widget->setEnabled(enabled);
}

void FrmScan::cmdScanUse_Click() {
    const int row = tblScan->currentRow();
    if (search_.Running() || row < 0 || row >= static_cast<int>(search_.Found().size())) return;
    chosen_ = search_.Found()[static_cast<std::size_t>(row)];
    accept();
}

void FrmScan::cmdScanClose_Click() {
    reject();
}

void FrmScan::reject() {
    if (search_.Running()) {
        closeWhenStopped_ = true;
        search_.Stop();
        return;
    }
    QDialog::reject();
}

void FrmScan::closeEvent(QCloseEvent* event) {
    if (search_.Running()) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmScan::done(int result) {
    const auto settings = UserSettings();
    settings->setValue(QLatin1String(kGeometryKey), saveGeometry());
    QDialog::done(result);
}

}  // namespace tally
