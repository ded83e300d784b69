// Construction, start-up, the on-line/off-line look and shut-down.
#include "app/window/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "engine/station_filter.h"
#include "numbers/number_text.h"
#include "protocol/baud_rates.h"
#include "ui/models/line_history.h"
#include "ui/models/read_confirmation.h"
#include "ui/models/station_table.h"
#include "ui/models/stations_model.h"
#include "ui/models/trend_model.h"
#include "ui/paint/opaque.h"
#include "ui/paint/panel_cache_style.h"
#include "ui/paint/still_slot.h"
#include "ui/windows/control_names.h"
#include "ui/windows/field_filter.h"
#include "ui/windows/field_routines.h"
#include "ui/windows/frm_line.h"
#include "ui/windows/frm_log.h"
#include "ui/windows/frm_stations.h"
#include "ui/windows/frm_trend.h"
#include "ui/windows/lamp.h"
#include "ui/windows/port_item_delegate.h"
#include "ui/windows/widget_state.h"

namespace tally {
namespace {

// Looking for new adapters costs one listing of /dev: cheap at this rate.
constexpr int kPortWatchMs = 2000;

QLineEdit* displayField(QWidget* parent, const QString& name, QRgb back) {
    auto* field = named(new DisplayField(QStringLiteral("--"), parent), name);
    field->setReadOnly(true);
    field->setAlignment(Qt::AlignCenter);
    SetBackColor(field, back);
    // Rewritten every cycle: the frame is drawn once and copied after.
    PanelCacheStyle::Use(field);
    return field;
}

}  // namespace

FrmMain::FrmMain(const AppEnvironment& env, QWidget* parent)
    : QWidget(parent), mscCOMM(*env.port), env_(env) {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Korvi Tallyscope  v1.2"));
    setFont(QFont(QStringLiteral("Tahoma")));

    buildUi();
    // The window opens on "Open Port", the first thing done in it; a text field
    // holding the focus would blink its cursor twice a second for as long as the
    // window stays open, which nobody is typing into.
    cmdCOMM->setFocus();

    line_ = std::make_unique<LineDriver>(*this, mscCOMM, *env_.clock, *env_.timers, *this);
    engine_ = &line_->Engine();
    tmrRead = &line_->tmrRead();
    tmrNow = &line_->tmrNow();
    tmrProbe = &line_->tmrProbe();
    // Before anything can reach the line: the monitor's figures must see every request.
    lineHistory_ = std::make_unique<LineHistory>();
    engine_->Events().Add(lineHistory_.get());
    tmrPorts = env_.timers->Create(kPortWatchMs);
    tmrPorts->onTick = [this] { tmrPorts_Timer(); };
    watchPortFolders();
    searchPort_ = std::make_unique<SearchPort>(mscCOMM, *engine_);
    search_ = std::make_unique<ModuleSearch>(*searchPort_, *env_.clock);
    engine_->Events().Add(search_.get());

    trendModel_ = std::make_unique<TrendModel>(
        TrendModel::Context{[this](int channel) { return Multiplier(channel); },
                            [this] { return static_cast<int>(AutoReadSeconds); }});
    trendEvents_ = std::make_unique<StationFilter>(*trendModel_, [this] { return MainStation(); });
    engine_->Events().Add(trendEvents_.get());

    confirmation_ = std::make_unique<ReadConfirmation>(
        [this](ReadKind kind) { return ReadBoxValue(kind) == 1; });
    confirmation_->onChanged = [this] { showConfirmation(); };
    confirmationEvents_ =
        std::make_unique<StationFilter>(*confirmation_, [this] { return MainStation(); });
    engine_->Events().Add(confirmationEvents_.get());

    stationTable_ = std::make_unique<StationTable>();
    stationsModel_ = std::make_unique<StationsModel>(
        *stationTable_, [this] { return MainStation(); },
        [this] {
            std::array<double, 8> multipliers{};
            for (std::size_t i = 0; i < 8; ++i)
                multipliers[i] = Multiplier(static_cast<int>(i) + 1);
            return multipliers;
        });
    stationTable_->onChanged = [this](int station) { stationsModel_->StationChanged(station); };
    engine_->Events().Add(stationTable_.get());
    // Nothing on show has been read yet.
    showConfirmation();

    connectHandlers();
    installFieldFilters();
    // An event loop that ends with the window open (quit, exit, the session ending)
    // shuts down as the close box does.
    if (QCoreApplication::instance() != nullptr) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &QWidget::close);
    }
}

double FrmMain::Multiplier(int channel) const {
    if (channel < 1 || channel > 8) return 0.0;
    return LeadingNumber(txtCTMulti[static_cast<std::size_t>(channel - 1)]->text().toStdString());
}

FrmMain::~FrmMain() {
    // The line monitor shows the history, which goes before the child windows do.
    delete frmLine;
    frmLine = nullptr;
    engine_->Events().Remove(lineHistory_.get());
    // The chart reads the model; both go before the engine.
    delete frmTrend;
    frmTrend = nullptr;
    engine_->Events().Remove(trendEvents_.get());
    engine_->Events().Remove(confirmationEvents_.get());
    // The view shows the model, which shows the table.
    delete frmStations;
    frmStations = nullptr;
    engine_->Events().Remove(stationTable_.get());
    // The log listens to the engine, which goes before the child windows do.
    delete frmLog;
    frmLog = nullptr;
    // The engine's timers and port callback are unhooked by the line driver,
    // which goes after the search that uses its engine.
    tmrPorts->onTick = nullptr;
    // The controls outlive the members and still signal while they go (a focused port
    // field reports its text as chosen when the window hides): no handler may run.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
}

void FrmMain::buildUi() {
    auto* root = new QVBoxLayout(this);
    menuBar = named(new QMenuBar(this), QStringLiteral("menuBar"));
    root->setMenuBar(menuBar);
    buildMenus();

    // Communication settings, protocol and read settings side by side.
    Frame1 = named(new QGroupBox(QStringLiteral("Communication Setting"), this),
                   QStringLiteral("Frame1"));
    auto* commGrid = new QGridLayout(Frame1);
    labCOMM = named(new QLabel(QStringLiteral("Comm.Port"), Frame1), QStringLiteral("labCOMM"));
    cmbCOMM = named(new QComboBox(Frame1), QStringLiteral("cmbCOMM"));
    cmbCOMM->setEditable(true);
    cmbCOMM->setInsertPolicy(QComboBox::NoInsert);
    cmbCOMM->setItemDelegate(new PortItemDelegate(cmbCOMM));
    cmbCOMM->setEditText(QStringLiteral("1"));
    labBaud = named(new QLabel(QStringLiteral("Baudrate"), Frame1), QStringLiteral("labBaud"));
    cmbBaud = named(new QComboBox(Frame1), QStringLiteral("cmbBaud"));
    for (const int rate : kBaudRates)
        cmbBaud->addItem(QString::number(rate));
    labStatiosn =
        named(new QLabel(QStringLiteral("Station"), Frame1), QStringLiteral("labStatiosn"));
    cmbStation = named(new QComboBox(Frame1), QStringLiteral("cmbStation"));
    cmbStation->setEditable(true);
    cmbStation->setInsertPolicy(QComboBox::NoInsert);
    for (int s = 0; s <= 31; ++s)
        cmbStation->addItem(QString::number(s));
    cmbStation->setCurrentIndex(0);
    cmdCOMM =
        named(new QPushButton(QStringLiteral("Open Port"), Frame1), QStringLiteral("cmdCOMM"));
    shpCOMM = named(new Lamp(QColor(0xC0, 0xFF, 0xC0), Frame1), QStringLiteral("shpCOMM"));
    commGrid->addWidget(labCOMM, 0, 0);
    commGrid->addWidget(cmbCOMM, 0, 1);
    commGrid->addWidget(labBaud, 1, 0);
    commGrid->addWidget(cmbBaud, 1, 1);
    commGrid->addWidget(labStatiosn, 2, 0);
    commGrid->addWidget(cmbStation, 2, 1);
    auto* openRow = new QHBoxLayout;
    openRow->addWidget(cmdCOMM, 1);
    openRow->addWidget(shpCOMM);
    commGrid->addLayout(openRow, 3, 0, 1, 2);

    fmeProtocol =
        named(new QGroupBox(QStringLiteral("Protocol"), this), QStringLiteral("fmeProtocol"));
    auto* protocolBox = new QVBoxLayout(fmeProtocol);
    for (int i = 0; i < 3; ++i) {
        const QString caption = QString::fromStdString(ProtocolCaption(ProtocolFromIndex(i)));
        optProtocol[static_cast<std::size_t>(i)] =
            named(new QRadioButton(caption, fmeProtocol), indexed("optProtocol", i));
        protocolBox->addWidget(optProtocol[static_cast<std::size_t>(i)]);
    }
    optProtocol[0]->setChecked(true);
    protocolBox->addStretch();

    fmeRead = named(new QGroupBox(QStringLiteral("Read Setting"), this), QStringLiteral("fmeRead"));
    auto* readBox = new QVBoxLayout(fmeRead);
    chkRead = named(new QCheckBox(QStringLiteral("Read"), fmeRead), QStringLiteral("chkRead"));
    SetBackColor(chkRead, 0xD0FFD0);
    // The interval field sits in the gap of "Every          Sec".
    labAuto =
        named(new QLabel(QStringLiteral("Every          Sec"), fmeRead), QStringLiteral("labAuto"));
    txtAutoRead = named(new QLineEdit(QStringLiteral("0"), labAuto), QStringLiteral("txtAutoRead"));
    txtAutoRead->setMaxLength(2);
    txtAutoRead->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    {
        const QFontMetrics fm(labAuto->font());
        auto* gap = new QHBoxLayout(labAuto);
        gap->setContentsMargins(fm.horizontalAdvance(QStringLiteral("Every ")), 0, 0, 0);
        txtAutoRead->setFixedWidth(fm.horizontalAdvance(QStringLiteral("         ")));
        gap->addWidget(txtAutoRead);
        gap->addStretch();
        labAuto->setMinimumHeight(txtAutoRead->sizeHint().height());
    }
    chkDC = named(new QCheckBox(QStringLiteral("DC"), fmeRead), QStringLiteral("chkDC"));
    chkDI = named(new QCheckBox(QStringLiteral("DI"), fmeRead), QStringLiteral("chkDI"));
    chkDO = named(new QCheckBox(QStringLiteral("DO"), fmeRead), QStringLiteral("chkDO"));
    readBox->addWidget(chkRead);
    readBox->addWidget(labAuto);
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(chkDC);
    kinds->addWidget(chkDI);
    kinds->addWidget(chkDO);
    readBox->addLayout(kinds);
    readBox->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(Frame1, 3);
    top->addWidget(fmeProtocol, 2);
    top->addWidget(fmeRead, 2);
    root->addLayout(top);

    // The monitor: one row per counter.
    fmeMonitor =
        named(new QGroupBox(QStringLiteral("Monitor"), this), QStringLiteral("fmeMonitor"));
    auto* monitor = new QGridLayout(fmeMonitor);
    labCTRaw = named(new QLabel(QStringLiteral("Raw"), fmeMonitor), QStringLiteral("labCTRaw"));
    labCTMulti =
        named(new QLabel(QStringLiteral("Multiply"), fmeMonitor), QStringLiteral("labCTMulti"));
    labCTVal = named(new QLabel(QStringLiteral("DC"), fmeMonitor), QStringLiteral("labCTVal"));
    for (QLabel* heading : {labCTRaw, labCTMulti, labCTVal})
        heading->setAlignment(Qt::AlignCenter);
    monitor->addWidget(labCTRaw, 0, 1);
    monitor->addWidget(labCTMulti, 0, 3);
    monitor->addWidget(labCTVal, 0, 5);
    for (int i = 0; i < 8; ++i) {
        const auto u = static_cast<std::size_t>(i);
        labCh[u] = named(new QLabel(QString::number(i + 1), fmeMonitor), indexed("labCh", i));
        txtCTRaw[u] = displayField(fmeMonitor, indexed("txtCTRaw", i), 0xE0E0E0);
        labXX[u] = named(new QLabel(QStringLiteral("X"), fmeMonitor), indexed("labXX", i));
        labXX[u]->setFont(QApplication::font());  // the multiplication sign keeps the system font
        txtCTMulti[u] =
            named(new QLineEdit(QStringLiteral("1.0"), fmeMonitor), indexed("txtCTMulti", i));
        txtCTMulti[u]->setMaxLength(10);
        txtCTMulti[u]->setAlignment(Qt::AlignCenter);
        labEQ[u] = named(new QLabel(QStringLiteral("="), fmeMonitor), indexed("labEQ", i));
        txtCTVal[u] = displayField(fmeMonitor, indexed("txtCTVal", i), 0xF0F0F0);
        monitor->addWidget(labCh[u], i + 1, 0);
        monitor->addWidget(txtCTRaw[u], i + 1, 1);
        monitor->addWidget(labXX[u], i + 1, 2);
        monitor->addWidget(txtCTMulti[u], i + 1, 3);
        monitor->addWidget(labEQ[u], i + 1, 4);
        monitor->addWidget(txtCTVal[u], i + 1, 5);
    }
    monitor->setColumnStretch(1, 3);
    monitor->setColumnStretch(3, 2);
    monitor->setColumnStretch(5, 4);
    root->addWidget(fmeMonitor);

    // Inputs and outputs.
    fmeDI = named(new QGroupBox(this), QStringLiteral("fmeDI"));
    auto* inputs = new QGridLayout(fmeDI);
    labDIVal = named(new QLabel(QStringLiteral("DI"), fmeDI), QStringLiteral("labDIVal"));
    inputs->addWidget(labDIVal, 0, 0, 2, 1);
    for (int i = 0; i < 8; ++i) {
        const auto u = static_cast<std::size_t>(i);
        shpDI[u] = named(new Lamp(QColor(0xFF, 0x80, 0x80), fmeDI), indexed("shpDI", i));
        labDI[u] = named(new QLabel(QString::number(i + 9), fmeDI), indexed("labDI", i));
        labDI[u]->setAlignment(Qt::AlignCenter);
        inputs->addWidget(shpDI[u], 0, i + 1, Qt::AlignCenter);
        inputs->addWidget(labDI[u], 1, i + 1);
    }

    fmeDO = named(new QGroupBox(this), QStringLiteral("fmeDO"));
    auto* outputs = new QGridLayout(fmeDO);
    labDOVal = named(new QLabel(QStringLiteral("DO"), fmeDO), QStringLiteral("labDOVal"));
    outputs->addWidget(labDOVal, 0, 0);
    for (int n = 1; n <= 8; ++n) {
        const auto u = static_cast<std::size_t>(n);
        cmdDO[u] =
            named(new QPushButton(QStringLiteral("Do%1").arg(n), fmeDO), indexed("cmdDO", n));
        SetBackColor(cmdDO[u], kOffColor);
        outputs->addWidget(cmdDO[u], 0, n);
    }
    cmdDoON = named(new QPushButton(QStringLiteral("All 'ON'"), fmeDO), QStringLiteral("cmdDoON"));
    SetBackColor(cmdDoON, kOnColor);
    cmdDoOFF =
        named(new QPushButton(QStringLiteral("All 'OFF'"), fmeDO), QStringLiteral("cmdDoOFF"));
    SetBackColor(cmdDoOFF, kOffColor);
    auto* shape = new QFrame(fmeDO);
    shape->setFrameShape(QFrame::VLine);
    shape->setFrameShadow(QFrame::Sunken);
    Shape2 = named(static_cast<QWidget*>(shape), QStringLiteral("Shape2"));
    outputs->addWidget(Shape2, 0, 9);
    outputs->addWidget(cmdDoON, 0, 10);
    outputs->addWidget(cmdDoOFF, 0, 11);
    root->addWidget(fmeDI);
    root->addWidget(fmeDO);

    // Counter setting, the enable dialog button and the status line.
    fmeCT = named(new QGroupBox(QStringLiteral("Counter Setting"), this), QStringLiteral("fmeCT"));
    auto* counters = new QHBoxLayout(fmeCT);
    chkCTClear =
        named(new QCheckBox(QStringLiteral("Clear DC"), fmeCT), QStringLiteral("chkCTClear"));
    SetBackColor(chkCTClear, 0xFFC0C0);
    chkCTSet = named(new QCheckBox(QStringLiteral("Set DC"), fmeCT), QStringLiteral("chkCTSet"));
    SetBackColor(chkCTSet, 0xFFC0C0);
    txtCTSet = named(new QLineEdit(QStringLiteral("--"), fmeCT), QStringLiteral("txtCTSet"));
    txtCTSet->setMaxLength(10);
    txtCTSet->setAlignment(Qt::AlignCenter);
    labWDC = named(new QLabel(QStringLiteral("Counter Channel"), fmeCT), QStringLiteral("labWDC"));
    cmbDC = named(new QComboBox(fmeCT), QStringLiteral("cmbDC"));
    for (const char* item : {"1", "2", "3", "4", "5", "6", "7", "8", "All"}) {
        cmbDC->addItem(QLatin1String(item));
    }
    counters->addWidget(chkCTClear);
    counters->addWidget(chkCTSet);
    counters->addWidget(txtCTSet, 1);
    counters->addWidget(labWDC);
    counters->addWidget(cmbDC);

    cmdCTSet = named(new QPushButton(QStringLiteral("Enable/Disable DC"), this),
                     QStringLiteral("cmdCTSet"));
    SetBackColor(cmdCTSet, 0xC0FFF0);
    imgDC = named(new QLabel(this), QStringLiteral("imgDC"));
    imgDC->setMinimumSize(fontMetrics().height() * 2, fontMetrics().height() * 2);

    auto* middle = new QHBoxLayout;
    middle->addWidget(fmeCT, 1);
    middle->addWidget(cmdCTSet);
    middle->addWidget(imgDC);
    root->addLayout(middle);

    Frame2 = named(new QGroupBox(this), QStringLiteral("Frame2"));
    auto* status = new QHBoxLayout(Frame2);
    Label1 = named(new QLabel(QStringLiteral("Communication Status :"), Frame2),
                   QStringLiteral("Label1"));
    labReport = named(new OpaqueLabel(QStringLiteral("Off Line")), QStringLiteral("labReport"));
    // The status changes several times a poll cycle: its text must not lay the whole
    // window out again each time (the label has the row's free width anyway).
    status->addWidget(Label1);
    status->addWidget(InStillSlot(labReport, Frame2), 1);
    root->addWidget(Frame2);
}

void FrmMain::connectHandlers() {
    connect(cmbCOMM, &QComboBox::editTextChanged, this, [this] { cmbCOMM_Change(); });
    connect(cmbCOMM, &QComboBox::activated, this, [this] { cmbCOMM_Change(); });
    connect(cmbStation, &QComboBox::editTextChanged, this, [this] { cmbStation_Change(); });
    connect(cmbStation, &QComboBox::activated, this, [this] { cmbStation_Change(); });
    cmbCOMM->installEventFilter(this);
    cmbCOMM->lineEdit()->installEventFilter(this);
    connect(cmdCOMM, &QPushButton::clicked, this, [this] { cmdCOMM_Click(); });
    for (int i = 0; i < 3; ++i) {
        connect(optProtocol[static_cast<std::size_t>(i)], &QRadioButton::toggled, this,
                [this, i](bool on) {
                    if (on) optProtocol_Click(i);
                });
    }
    connect(chkRead, &QCheckBox::stateChanged, this, [this] { chkRead_Click(); });
    for (QCheckBox* box : {chkDC, chkDI, chkDO}) {
        connect(box, &QCheckBox::stateChanged, this, [this, box](int state) {
            // Greyed only as the settings file left it: any change makes it two-state again.
            if (state != Qt::PartiallyChecked) box->setTristate(false);
            chkDC_Click();
        });
    }
    connect(txtAutoRead, &QLineEdit::textChanged, this, [this] { txtAutoRead_Change(); });
    for (int n = 1; n <= 8; ++n) {
        connect(cmdDO[static_cast<std::size_t>(n)], &QPushButton::clicked, this,
                [this, n] { cmdDO_Click(n); });
    }
    connect(cmdDoON, &QPushButton::clicked, this, [this] { cmdDoON_Click(); });
    connect(cmdDoOFF, &QPushButton::clicked, this, [this] { cmdDoOFF_Click(); });
    connect(chkCTClear, &QCheckBox::stateChanged, this, [this] { chkCTClear_Click(); });
    connect(chkCTSet, &QCheckBox::stateChanged, this, [this] { chkCTSet_Click(); });
    connect(cmdCTSet, &QPushButton::clicked, this, [this] { cmdCTSet_Click(); });
}

void FrmMain::installFieldFilters() {
    // Each field takes only what the program can use, typed or pasted.
    InstallWholeNumberFilter(cmbCOMM, 2);
    InstallWholeNumberFilter(cmbStation, 2);
    InstallWholeNumberFilter(txtAutoRead, 2);
    InstallPresetFilter(txtCTSet);
    for (std::size_t i = 0; i < 8; ++i) {
        InstallMultiplierFilter(txtCTMulti[i]);
        InstallViewOnlyFilter(txtCTRaw[i]);
        InstallViewOnlyFilter(txtCTVal[i]);
    }
}

void FrmMain::Form_Load() {
    // 1. Deadlines run on the monotonic clock, so no day-count unit is set up.
    // 2.
    cmbBaud->setCurrentText(QStringLiteral("19200"));
    // 3. The input and output groups show no border.
    for (QGroupBox* box : {fmeDI, fmeDO}) {
        box->setFlat(true);
        box->setStyleSheet(QStringLiteral("QGroupBox { border: none; }"));
    }
    // 4.
    SetControlsOnline(false);
    // 5.
    ListPorts();
    // 6. The lists open to their heights; the controls stay where the layout puts them.
    SetDropDownHeight(cmbStation, 255);
    SetDropDownHeight(cmbDC, 150);
    cmbCOMM_Change();
    cmbStation->lineEdit()->deselect();
    cmbDC->setCurrentText(QStringLiteral("All"));
    // 7. The enable dialog lives from now until the end, hidden until needed.
    frmSub = new FrmSub(*this, *env_.timers, this);
    frmSub->hide();
    // 8.
    ApplySettings();
    ApplyWindowState();
}

void FrmMain::optProtocol_Click(int index) {
    // What is on show came in the other protocol, perhaps from another device.
    if (ProtocolIndex != index) confirmation_->ForgetAll();
    ProtocolIndex = static_cast<std::int16_t>(index);
    // A command still waiting was built for the other protocol: it would reach the
    // module as a frame it no longer expects.
    if (PendingCommand == 0) return;
    const int command = PendingCommand;
    const std::string text =
        CommandText(command, CounterSelectorNumber(), OutputState[0]) + " cancelled";
    PendingCommand = 0;
    switch (command) {
        case 1:
        case 2:
            if (chkCTSet->checkState() != Qt::Unchecked) chkCTSet->setCheckState(Qt::Unchecked);
            if (chkCTClear->checkState() != Qt::Unchecked) chkCTClear->setCheckState(Qt::Unchecked);
            SetBusy(fmeCT, false);
            break;
        case 3:
            SetBusy(fmeDO, false);
            break;
        case 4:
            SetBusy(this, false);
            break;
        default:
            break;
    }
    ShowStatus(text);
}

void FrmMain::SetControlsOnline(bool online) {
    tmrPorts->SetEnabled(!online);
    cmbCOMM->setEnabled(!online);
    cmbBaud->setEnabled(!online);
    cmbStation->setEnabled(!online);
    // The search needs the port to itself and fills in the fields above.
    mnuScan->setEnabled(!online);
    const int ticked = static_cast<int>(chkDC->checkState()) +
                       static_cast<int>(chkDI->checkState()) +
                       static_cast<int>(chkDO->checkState());
    chkRead->setEnabled(online && ticked > 0);
    for (QWidget* group :
         std::initializer_list<QWidget*>{fmeMonitor, cmdCTSet, fmeCT, fmeDI, fmeDO}) {
        group->setEnabled(online);
    }
    if (online) {
        imgDC->unsetCursor();
    } else {
        imgDC->setCursor(Qt::ForbiddenCursor);
    }
}

// Every way out closes the window: the close box, File > Exit, the end of the
// event loop and the termination signals. The shut-down runs the first time only.
void FrmMain::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        // The dialog goes first, so the program ends with the main window. It may be
        // in its modal loop (the program told to quit from there); exec() survives this.
        if (frmSub != nullptr) {
            frmSub->AllowUnload();
            frmSub->close();
            delete frmSub;
            frmSub = nullptr;
        }
        // The file is complete before anything else ends.
        if (frmLog != nullptr) {
            frmLog->StopLogging();
            frmLog->close();
        }
        // A window of its own: left open it would keep the program running.
        if (frmLine != nullptr) frmLine->close();
        SaveSettings();
        SaveWindowState();
        // Closed after its state was kept, for the same reason.
        if (frmStations != nullptr) frmStations->close();
    }
    event->accept();
}

}  // namespace tally
